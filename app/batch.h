#pragma once
// The registration batch: every component argument goes through one fixed pipeline and ends in
// one row of the results table. Window-free: the platform's operations are handed in.
#include <cstddef>
#include <cstdint>

#include "app/child/child_run.h"
#include "app/guard/crash_guard.h"
#include "app/manifest/manifest.h"
#include "app/paths/long_path.h"
#include "app/paths/path_parts.h"
#include "app/registry/redirect.h"
#include "base/run_state.h"
#include "base/system_text.h"

constexpr int32_t RESULT_FILE_NAME_TOO_LONG = 206; // ERROR_FILENAME_EXCED_RANGE
constexpr int32_t RESULT_INVALID_NAME = 123;       // ERROR_INVALID_NAME
constexpr int32_t RESULT_BAD_EXE_FORMAT = 193;     // ERROR_BAD_EXE_FORMAT: not a module this program loads
constexpr int32_t RESULT_INVALID_PARAMETER = 87;   // ERROR_INVALID_PARAMETER: the options ask for no call
constexpr int32_t RESULT_TIMEOUT = 1460;           // ERROR_TIMEOUT: a call abandoned after the time limit
constexpr int32_t RESULT_OUT_OF_MEMORY = 8;        // ERROR_NOT_ENOUGH_MEMORY

// What the pipeline needs of the platform.
struct PlatformOps
{
    FindEntryName findEntryName;          // the directory lookup that the expansion of short names uses
    bool (*fileExists)(const char *path); // path names an existing file, not a folder
    // The full path of path into out (size bytes); false when it cannot be had or does not fit.
    bool (*fullPath)(const char *path, char *out, size_t size);
    bool (*currentFolder)(char *out, size_t size);
    void (*changeFolder)(const char *folder); // failure ignored
    // Loads exactly the file named, taking the DLLs it imports from its own folder first; null on
    // failure, with the reason in the last-error value.
    void *(*loadModule)(const char *path);
    void *(*findEntryPoint)(void *module, const char *name);
    // Calls the entry point. An exception that it leaves unhandled ends the call, not the run: the
    // call then returns false with crash filled in.
    bool (*callEntryPoint)(void *entryPoint, int32_t *result, EntryPointCrash *crash);
    // Calls DllInstall(install, text), text converted to UTF-16, as callEntryPoint does.
    bool (*callInstall)(void *entryPoint, bool install, const char *text, int32_t *result, EntryPointCrash *crash);
    void (*freeModule)(void *module);
    void (*setLastError)(uint32_t value);
    uint32_t (*lastError)();
    SystemTextLookup systemText;
    bool (*isLeadByte)(unsigned char c);
    // Reads the first bytes of a file into bytes (size bytes at most); the count read, 0 when it
    // cannot be read.
    size_t (*readFileStart)(const char *path, unsigned char *bytes, size_t size);
    // Registers (or unregisters) the type library at fullPath: *result gets the HRESULT. False when
    // the system has no means to (no OLE Automation library).
    bool (*registerTypeLibrary)(const char *fullPath, bool unregister, int32_t *result);
    // Runs the twin of the other bitness on a component's full path, in the given modes, and waits
    // for it; each row it reports goes to sink. False when there is no twin to run (missing, not a
    // program, this very program, or it fails to start), and always in a run that is a twin's.
    bool (*runTwin)(const char *fullPath, const ChildModes &modes, ChildRowSink sink, void *context, ChildEnd *end);
    // Runs the arguments from index first on (of those RunBatch was given) in a fresh process of
    // this program, started in folder, in the given modes, and waits for it; each row it reports
    // goes to sink. False with end->startError when it cannot be started.
    bool (*runRest)(int first, const ChildModes &modes, const char *folder, ChildRowSink sink, void *context,
                    ChildEnd *end);
    // Told of each row as it is appended; null: nobody listens.
    void (*rowAdded)(const ChildRow &row);
    uint32_t (*milliseconds)(); // a clock, for how long each component takes
    // What the watchdog saw during the calls since it was last asked: the windows of the component
    // that it answered, in words for the row. False when there were none.
    bool (*takeWindowNote)(char *text, size_t size);
    // Never returns: the thread of a call that was abandoned waits there until the process ends.
    void (*waitForever)();
    // Maps the registry for a component's calls (a RedirectMode); false with the system's error.
    bool (*beginRedirect)(int mode, uint32_t *error);
    // Puts it back; keep: the calls succeeded, and what they wrote counts (component: its full path).
    void (*endRedirect)(int mode, bool keep, const char *component, RedirectOutcome *outcome);
    uint16_t programMachine; // the machine this program is built for (its PE header's Machine)
    // /M: the component's file name in UTF-8 and its file version (1.0.0.0 when it has none).
    void (*describeFile)(const char *fullPath, char *utf8Name, size_t size, uint16_t version[4]);
    // Writes a manifest whole (a temporary file renamed over it); false with the system's error.
    bool (*writeManifest)(const char *path, const char *text, size_t length, uint32_t *error);
    // Checks that the system takes the manifest at path, the component's files being in folder:
    // each class's object is had through it (load: the manifest is beside the component), else
    // each class is found in it. False with crash filled in when the component crashed.
    bool (*checkManifest)(const char *path, const char *folder, bool load, const ManifestSummary &summary,
                          ManifestCheck *check, EntryPointCrash *crash);
};

// Walks argv[1..argc-1]: options set the run-wide flags, every other argument is registered.
// unrepresentable (null: none) marks the arguments that the ANSI code page cannot hold: they are
// never options and never loaded. After a component crashed, this process's state is unknown: the
// rest of the arguments run in fresh processes (ops.runRest), whose rows join the table; a run
// that is itself such a child (childRun) stops there instead.
void RunBatch(int argc, char **argv, const PlatformOps &ops, const bool *unrepresentable = nullptr);

// Abandons the entry point call that runs now, from another thread, when it has run past the time
// limit: its component gets a row that says so (code 1460, ERROR_TIMEOUT, counted as its result),
// and the rest of the batch runs in fresh processes; a child run leaves that to the first process.
// False when the call has returned meanwhile. After true the process must end, with
// BatchExitValue(): the call never returns to the batch.
bool AbandonCall(uint32_t limitSeconds);

// The component whose entry point runs now, for a line that must be written before the process
// ends under it: path, full path, calls and milliseconds so far. False when no call runs.
bool PendingCall(ChildRow *row);

// The name to load for a component's full path: a file name without an extension gets a
// trailing dot, so that the loader takes exactly that file instead of adding ".dll". A "\\?\"
// path, from which the system drops no dot, is given in its plain form, where it has one.
// out has PATH_BUFFER_SIZE + 1 bytes.
void ExactModuleName(const char *fullPath, LeadByteTest isLeadByte, char *out);

// The run's exit code: the last called entry point's result, or, when no entry point was called,
// the last row's code (0 when there are no rows).
int32_t BatchExitValue();
