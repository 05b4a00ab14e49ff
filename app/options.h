#pragma once
// Command-line options: what each one is, the modes they set for the components after them, the
// same modes as options for another run, and the OLE start-up failure text. Window-free.
#include <cstddef>
#include <cstdint>

#include "app/paths/path_parts.h"

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
    ARGUMENT_EXPANSION_ROW,  // second character *: a pattern's or a folder's row (app/expand), private
    ARGUMENT_VERIFY,         // second character V or v: verify the registration, change nothing
    ARGUMENT_IGNORED_OPTION, // any other option letter, skipped without a message
};

// Only the first two characters of an argument decide what it is.
ArgumentKind ClassifyArgument(const char *argument);

// An option's value: what follows its first colon ("/I:user" gives "user"); empty without one.
const char *OptionValue(const char *argument);

// The modes that the options before a component set for it. /U and /S are the program's own
// globals, unregisterMode and silentMode.
struct Modes
{
    const char *install;                 // the last /I option as given; null: none
    bool noRegister;                     // /N: no DllRegisterServer or DllUnregisterServer call
    const char *timeLimit;               // the last /T option as given; null: none
    const char *record;                  // the last /R option as given: record, do not register; null: none
    bool currentUser;                    // /C: register for the current user
    char manifest[PATH_BUFFER_SIZE + 4]; // the last /M, its folder a full path ("/M", "/M:C:\x"); empty: none
    bool verify;                         // /V: verify, do not register (before /R and /M)
};

// Applies one option: to modes, or to unregisterMode or silentMode. /M's folder is made a full
// path from startFolder (null: left as given), so that another run, started elsewhere, writes
// into the same folder.
void ApplyOption(const char *argument, const char *startFolder, Modes *modes);

// The calls these modes ask of a component, in order, as the log names them: "register",
// "unregister", "DllInstall", "register+DllInstall" or "DllInstall+unregister"; under /V
// "verify" or "verify unregistered".
const char *CallWords(const Modes &modes, bool unregister);

// The calls undo a registration: /U, but not under /V, which records what registering writes.
bool CallsUnregister(const Modes &modes, bool unregister);
// "DllRegisterServer", or "DllUnregisterServer" when the calls undo a registration.
const char *RegisterCallName(const Modes &modes, bool unregister);
// The entry points these modes call, in the order they are called, into names (2 entries); the
// count. With /I, DllInstall comes after DllRegisterServer and before DllUnregisterServer; /N
// leaves out the (un)registration call, so /N alone calls nothing.
int CalledEntryPoints(const Modes &modes, bool unregister, const char *names[2]);

// Another run's options: at most one of each.
constexpr size_t OPTION_LIST_MAX = 9;
struct OptionList
{
    const char *values[OPTION_LIST_MAX];
    size_t count;
};

// The options that start another run in these modes, as a user would write them: /S, /U, /I, /N,
// /T, /R, /C, /M and /V, as they apply.
OptionList ModesAsOptions(const Modes &modes, bool unregister, bool silent);

// A file or folder that the run writes and that must be writable before any component is called:
// the log, the record file, each folder that /M names.
enum RunFileKind
{
    RUN_FILE_LOG,
    RUN_FILE_RECORD,
    RUN_FILE_MANIFEST_FOLDER,
};
struct RunFile
{
    RunFileKind kind;
    const char *path;
    const char *what; // what the run could not do with it: "open the log file"
    int next;         // where the search for the next one goes on
};

// What is at a run file's place before the run writes there.
struct RunFileTarget
{
    bool exists;
    bool folder;
    bool readOnly;
    const unsigned char *start; // its first bytes (count of them)
    size_t count;
    bool component; // it is one of the components the run is given
    bool log;       // it is the run's log (for the record file)
};

// Why the run must not write file at target, in a sentence, with the error for the exit code in
// *error; null when it may. A record file overwrites what is there, so it must be a .reg file
// already; a log is appended to, so it must be a text log.
const char *RunFileRefusal(RunFileKind kind, const RunFileTarget &target, uint32_t *error);

// What counts for the whole run wherever it stands: /S, the log (the last /L), the record file
// (the last /R's; which components are recorded is positional), whether a /T stands anywhere (a
// silent run with a time limit runs its components in processes it supervises), and the first /T
// whose value is not a whole number of seconds from 1 to 86400 (a typo must not silently remove
// the protection asked for: the run ends before any call).
struct RunWideOptions
{
    bool silent;
    const char *logFile;    // null: no log
    const char *recordFile; // the last /R's file; null: no recording
    bool timeLimit;
    const char *badTimeLimit; // null: none
};

// Reads them from argv[1..argc-1]; unrepresentable (null: none) marks arguments that are never options.
RunWideOptions ScanRunWideOptions(int argc, char **argv, const bool *unrepresentable);

// The files the run writes, one at a time: the log, the record file (from runWide), then each /M
// folder in order. Start with a zeroed file; false when there is none left.
bool NextRunFile(int argc, char **argv, const bool *unrepresentable, const RunWideOptions &runWide, RunFile *file);

// The seconds of a /T option ("/T:30"); 0 for no limit (null: none), or a value that is not a
// whole number of seconds from 1 to 86400.
uint32_t TimeLimitSeconds(const char *argument);


// "TolVane could not use the option '/T:abc', so it registered nothing:\n..."
void ComposeBadTimeLimitMessage(const char *option, char *text, size_t size);

// "OLE Could not be initialized for the following reason:\n<reason>"
void ComposeOleFailureMessage(int32_t result, char *text, size_t size);
