#pragma once
// What the batch needs of the system: the primitives, each a Win32 call or two (app/platform_win),
// replaced by a simulation in the unit tests. Each feature declares its own operations beside it.
#include <cstddef>
#include <cstdint>

#include "app/guard/crash_guard.h"
#include "app/paths/long_path.h"
#include "app/paths/path_parts.h"
#include "base/run_state.h"
#include "base/system_text.h"

struct SystemOps
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
    uint16_t programMachine; // the machine this program is built for (its PE header's Machine)
    // Told of each row as it is appended; null: nobody listens.
    void (*rowAdded)(const RowReport &row);
    uint32_t (*milliseconds)(); // a clock, for how long each component takes
    // Before and after each step that runs a component's code: the watchdog watches it, with the
    // time limit of /T in a silent run (0: none).
    void (*watchStep)(bool running, uint32_t limitSeconds);
    // What happened since it was last asked, in words for the next row: the windows of the
    // component that the watchdog answered, a crash on a thread an earlier component left running.
    // False when nothing did.
    bool (*takeWindowNote)(char *text, size_t size);
    // Never returns: the thread of a step that was abandoned waits there until the process ends.
    void (*waitForever)();
};
