#include "app/options.h"

#include <cstdio>
#include <cstring>

#include "base/run_state.h"

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
    case '*':
        return ARGUMENT_EXPANSION_ROW;
    case 'V':
    case 'v':
        return ARGUMENT_VERIFY;
    default:
        return ARGUMENT_IGNORED_OPTION;
    }
}

const char *OptionValue(const char *argument)
{
    const char *colon = std::strchr(argument, ':');
    return colon != nullptr ? colon + 1 : "";
}

void ApplyOption(const char *argument, const char *startFolder, Modes *modes)
{
    switch (ClassifyArgument(argument))
    {
    case ARGUMENT_SILENT:
        silentMode = 1;
        break;
    case ARGUMENT_UNREGISTER:
        unregisterMode = 1;
        break;
    case ARGUMENT_INSTALL:
        modes->install = argument;
        break;
    case ARGUMENT_NO_REGISTER:
        modes->noRegister = true;
        break;
    case ARGUMENT_TIME_LIMIT:
        modes->timeLimit = argument;
        break;
    case ARGUMENT_RECORD:
        modes->record = argument;
        break;
    case ARGUMENT_CURRENT_USER:
        modes->currentUser = true;
        break;
    case ARGUMENT_MANIFEST: {
        char folder[PATH_BUFFER_SIZE] = "";
        if (OptionValue(argument)[0] != '\0')
            FullPathFromFolder(startFolder, OptionValue(argument), folder);
        std::snprintf(modes->manifest, sizeof modes->manifest, folder[0] != '\0' ? "/M:%s" : "/M", folder);
        break;
    }
    case ARGUMENT_VERIFY:
        modes->verify = true;
        break;
    case ARGUMENT_LOG: // opened before the batch: it counts for the whole run
    case ARGUMENT_IGNORED_OPTION:
    case ARGUMENT_EXPANSION_ROW:
    case ARGUMENT_COMPONENT:
        break;
    }
}

const char *CallWords(const Modes &modes, bool unregister)
{
    if (modes.verify)
        return unregister ? "verify unregistered" : "verify";
    if (modes.install == nullptr)
        return unregister ? "unregister" : "register";
    if (modes.noRegister)
        return "DllInstall";
    return unregister ? "DllInstall+unregister" : "register+DllInstall";
}

bool CallsUnregister(const Modes &modes, bool unregister)
{
    return unregister && !modes.verify;
}

const char *RegisterCallName(const Modes &modes, bool unregister)
{
    return CallsUnregister(modes, unregister) ? "DllUnregisterServer" : "DllRegisterServer";
}

int CalledEntryPoints(const Modes &modes, bool unregister, const char *names[2])
{
    const bool undo = CallsUnregister(modes, unregister);
    int count = 0;
    if (undo && modes.install != nullptr)
        names[count++] = "DllInstall";
    if (!modes.noRegister)
        names[count++] = RegisterCallName(modes, unregister);
    if (!undo && modes.install != nullptr)
        names[count++] = "DllInstall";
    return count;
}

OptionList ModesAsOptions(const Modes &modes, bool unregister, bool silent)
{
    const char *const given[OPTION_LIST_MAX] = {silent ? "/S" : nullptr,
                                                unregister ? "/U" : nullptr,
                                                modes.install,
                                                modes.noRegister ? "/N" : nullptr,
                                                modes.timeLimit,
                                                modes.record,
                                                modes.currentUser ? "/C" : nullptr,
                                                modes.manifest[0] != '\0' ? modes.manifest : nullptr,
                                                modes.verify ? "/V" : nullptr};
    OptionList list = {};
    for (const char *option : given)
        if (option != nullptr)
            list.values[list.count++] = option;
    return list;
}

static bool IsOption(int i, char **argv, const bool *unrepresentable)
{
    return (unrepresentable == nullptr || !unrepresentable[i]) && ClassifyArgument(argv[i]) != ARGUMENT_COMPONENT;
}

RunWideOptions ScanRunWideOptions(int argc, char **argv, const bool *unrepresentable)
{
    RunWideOptions options = {false, nullptr, nullptr, false, nullptr};
    for (int i = 1; i < argc; i++)
    {
        if (!IsOption(i, argv, unrepresentable))
            continue;
        const ArgumentKind kind = ClassifyArgument(argv[i]);
        if (kind == ARGUMENT_SILENT)
            options.silent = true;
        else if (kind == ARGUMENT_LOG)
            options.logFile = OptionValue(argv[i]);
        else if (kind == ARGUMENT_RECORD)
            options.recordFile = OptionValue(argv[i]);
        else if (kind == ARGUMENT_TIME_LIMIT)
        {
            options.timeLimit = true;
            if (options.badTimeLimit == nullptr && TimeLimitSeconds(argv[i]) == 0)
                options.badTimeLimit = argv[i];
        }
    }
    return options;
}

bool NextRunFile(int argc, char **argv, const bool *unrepresentable, const RunWideOptions &runWide, RunFile *file)
{
    // next: 0 the log, 1 the record file, then 1 + i for the /M options from argument i on.
    if (file->next == 0)
    {
        file->next = 1;
        if (runWide.logFile != nullptr)
        {
            *file = RunFile{RUN_FILE_LOG, runWide.logFile, "open the log file", 1};
            return true;
        }
    }
    if (file->next == 1)
    {
        file->next = 2;
        if (runWide.recordFile != nullptr)
        {
            *file = RunFile{RUN_FILE_RECORD, runWide.recordFile, "write the record file", 2};
            return true;
        }
    }
    for (int i = file->next - 1; i < argc; i++)
        if (IsOption(i, argv, unrepresentable) && ClassifyArgument(argv[i]) == ARGUMENT_MANIFEST &&
            OptionValue(argv[i])[0] != '\0')
        {
            *file = RunFile{RUN_FILE_MANIFEST_FOLDER, OptionValue(argv[i]), "write a manifest into the folder", i + 2};
            return true;
        }
    return false;
}

// A .reg file as regedit writes one (UTF-16 with its byte-order mark) or an older one in ANSI.
static bool LooksLikeRegFile(const unsigned char *bytes, size_t count)
{
    static const char header[] = "Windows Registry Editor";
    const size_t length = sizeof header - 1;
    if (count >= 2 + 2 * length && bytes[0] == 0xFF && bytes[1] == 0xFE)
    {
        for (size_t i = 0; i < length; i++)
            if (bytes[2 + 2 * i] != static_cast<unsigned char>(header[i]) || bytes[3 + 2 * i] != 0)
                return false;
        return true;
    }
    return (count >= length && std::memcmp(bytes, header, length) == 0) ||
           (count >= 8 && std::memcmp(bytes, "REGEDIT4", 8) == 0);
}

// Text: no NUL in what was read (a program image has many in its first bytes).
static bool LooksLikeText(const unsigned char *bytes, size_t count)
{
    return std::memchr(bytes, 0, count) == nullptr;
}

const char *RunFileRefusal(RunFileKind kind, const RunFileTarget &target, uint32_t *error)
{
    const bool record = kind == RUN_FILE_RECORD;
    if (kind == RUN_FILE_MANIFEST_FOLDER || !target.exists)
        return nullptr;
    const struct
    {
        bool applies;
        uint32_t error;
        const char *reason;
    } refusals[] = {
        {target.folder, 336, "It is a folder."}, // ERROR_DIRECTORY_NOT_SUPPORTED
        {target.component, 87, "It is one of the components of this run."},
        {record && target.log, 87, "It is the log of this run."},
        {record && target.readOnly, 5, "It is read-only."},
        {record && !LooksLikeRegFile(target.start, target.count), 80,
         "It exists and is not a .reg file, which a recording would replace."},
        {!record && !LooksLikeText(target.start, target.count), 80,
         "It exists and is not a text log, which the log would be appended to."},
    };
    for (const auto &refusal : refusals)
        if (refusal.applies)
        {
            *error = refusal.error;
            return refusal.reason;
        }
    return nullptr;
}

uint32_t TimeLimitSeconds(const char *argument)
{
    if (argument == nullptr)
        return 0;
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

void ComposeBadTimeLimitMessage(const char *option, char *text, size_t size)
{
    std::snprintf(text, size,
                  "TolVane could not use the option '%s', so it registered nothing:\nA time limit (/T:seconds) is a "
                  "whole number of seconds from 1 to 86400.",
                  option);
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
