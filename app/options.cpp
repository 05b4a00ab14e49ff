#include "app/options.h"

#include <cstdio>
#include <cstring>

ArgumentKind ClassifyArgument(const char *argument)
{
    if (argument[0] != '-' && argument[0] != '/')
        return ARGUMENT_COMPONENT;
    switch (argument[1])
    {
    case 'S':
    case 's':
        return ARGUMENT_SILENT;
    case 'U':
    case 'u':
        return ARGUMENT_UNREGISTER;
    case 'I':
    case 'i':
        return ARGUMENT_INSTALL;
    case 'N':
    case 'n':
        return ARGUMENT_NO_REGISTER;
    case 'L':
    case 'l':
        return ARGUMENT_LOG;
    case 'T':
    case 't':
        return ARGUMENT_TIME_LIMIT;
    case 'R':
    case 'r':
        return ARGUMENT_RECORD;
    case 'C':
    case 'c':
        return ARGUMENT_CURRENT_USER;
    case 'M':
    case 'm':
        return ARGUMENT_MANIFEST;
    default:
        return ARGUMENT_IGNORED_OPTION;
    }
}

const char *OptionValue(const char *argument)
{
    const char *colon = std::strchr(argument, ':');
    return colon != nullptr ? colon + 1 : "";
}

RunWideOptions ScanRunWideOptions(int argc, char **argv, const bool *unrepresentable)
{
    RunWideOptions options = {false, nullptr, nullptr};
    for (int i = 1; i < argc; i++)
    {
        if (unrepresentable != nullptr && unrepresentable[i])
            continue;
        const ArgumentKind kind = ClassifyArgument(argv[i]);
        if (kind == ARGUMENT_SILENT)
            options.silent = true;
        else if (kind == ARGUMENT_LOG)
            options.logFile = OptionValue(argv[i]);
        else if (kind == ARGUMENT_RECORD)
            options.recordFile = OptionValue(argv[i]);
    }
    return options;
}

uint32_t TimeLimitSeconds(const char *argument)
{
    const char *digits = OptionValue(argument);
    uint32_t seconds = 0;
    for (const char *at = digits; *at != '\0'; at++)
    {
        if (*at < '0' || *at > '9' || seconds > 86400)
            return 0;
        seconds = seconds * 10 + static_cast<uint32_t>(*at - '0');
    }
    return seconds <= 86400 ? seconds : 0;
}

// The reason shown when OleInitialize does not answer 0.
static const char *OleFailureReason(int32_t result)
{
    switch (static_cast<uint32_t>(result))
    {
    case 0x00000001u: // S_FALSE
        return "The COM library is already initialized on this apartment";
    case 0x80010106u: // RPC_E_CHANGED_MODE
        return "A previous call to CoInitializeEx specified the concurrency model for this apartment as "
               "multithread apartment (MTA)";
    case 0x8004000Eu: // OLE_E_WRONGCOMPOBJ
        return "The versions of COMPOBJ.DLL and OLE2.DLL on your machine are incompatible with each other";
    default:
        return "The OS could not determine the type of error - Tolvane received an undecodable error result";
    }
}

void ComposeOleFailureMessage(int32_t result, char *text, size_t size)
{
    std::snprintf(text, size, "OLE Could not be initialized for the following reason:\n%s", OleFailureReason(result));
}
