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
    ARGUMENT_LOG,            // second character L or l: log every row to the file after a colon
    ARGUMENT_TIME_LIMIT,     // second character T or t: in a silent run, abandon a call after the seconds given
    ARGUMENT_RECORD,         // second character R or r: record registrations into the .reg file after a colon
    ARGUMENT_CURRENT_USER,   // second character C or c: register for the current user
    ARGUMENT_MANIFEST,       // second character M or m: write a side-by-side manifest, into the folder after a colon
    ARGUMENT_IGNORED_OPTION, // any other option letter, skipped without a message
};

// Only the first two characters of an argument decide what it is.
ArgumentKind ClassifyArgument(const char *argument);

// An option's value: what follows its first colon ("/I:user" gives "user"); empty without one.
const char *OptionValue(const char *argument);

// What counts for the whole run wherever it stands: /S, the log (the last /L) and the record
// file (the last /R's; which components are recorded is positional).
struct RunWideOptions
{
    bool silent;
    const char *logFile;    // null: no log
    const char *recordFile; // the last /R's file; null: no recording
};

// Reads them from argv[1..argc-1]; unrepresentable (null: none) marks arguments that are never options.
RunWideOptions ScanRunWideOptions(int argc, char **argv, const bool *unrepresentable);

// The seconds of a /T option ("/T:30"); 0 for no limit, or a value that is not a whole number of
// seconds from 1 to 86400.
uint32_t TimeLimitSeconds(const char *argument);

// "OLE Could not be initialized for the following reason:\n<reason>"
void ComposeOleFailureMessage(int32_t result, char *text, size_t size);
