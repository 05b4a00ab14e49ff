#pragma once
// Command-line options and the OLE start-up failure text. Window-free.
#include <cstddef>
#include <cstdint>

enum ArgumentKind
{
    ARGUMENT_COMPONENT,      // anything that does not start with '-' or '/'
    ARGUMENT_SILENT,         // second character S or s
    ARGUMENT_UNREGISTER,     // second character U or u
    ARGUMENT_INSTALL,        // second character I or i: call DllInstall too, with the text after a colon
    ARGUMENT_NO_REGISTER,    // second character N or n: no DllRegisterServer / DllUnregisterServer
    ARGUMENT_IGNORED_OPTION, // any other option letter, skipped without a message
};

// Only the first two characters of an argument decide what it is.
ArgumentKind ClassifyArgument(const char *argument);

// An option's value: what follows its first colon ("/I:user" gives "user"); empty without one.
const char *OptionValue(const char *argument);

// The reason shown when OleInitialize does not answer 0.
const char *OleFailureReason(int32_t result);

// "OLE Could not be initialized for the following reason:\n<reason>"
void ComposeOleFailureMessage(int32_t result, char *text, size_t size);
