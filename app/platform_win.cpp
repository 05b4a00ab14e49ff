#include "app/platform_win.h"

#include <windows.h>
#include <direct.h>
#include <cstdlib>

#include "app/child/child_run_win.h"
#include "app/diagnose/diagnose_win.h"
#include "app/guard/crash_guard_win.h"
#include "app/watchdog/watchdog_win.h"
#include "app/manifest/manifest_win.h"
#include "app/redirect/redirect_win.h"
#include "app/typelib/typelib_win.h"
#include "app/verify/verify_win.h"
#include "report/log_win.h"
#include "app/twin/twin_win.h"
#include "base/system_win.h"

static bool WinFindEntryName(const char *pattern, char *name, void *)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    lstrcpynA(name, found.cFileName, MAX_PATH);
    return true;
}

// A file that exists but cannot be read (locked, or access denied) goes on to the load, which says why.
static bool WinFileExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

static bool WinCurrentFolder(char *out, size_t size)
{
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(size), out);
    return length != 0 && length < size;
}

static void WinChangeFolder(const char *folder)
{
    _chdir(folder);
}

// As the system's own registration tool does: the DLLs that the component imports are looked for
// in its own folder first.
static void *WinLoadModule(const char *path)
{
    return reinterpret_cast<void *>(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

static void *WinFindEntryPoint(void *module, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

static int32_t CallRegister(void *entryPoint)
{
    return reinterpret_cast<DLLREGISTER>(entryPoint)();
}

static bool WinCallEntryPoint(void *entryPoint, int32_t *result, EntryPointCrash *crash)
{
    return GuardedCall(CallRegister, entryPoint, result, crash);
}

struct InstallCall
{
    void *entryPoint;
    BOOL install;
    const wchar_t *text;
};

static int32_t CallInstall(void *context)
{
    const InstallCall *call = static_cast<const InstallCall *>(context);
    return reinterpret_cast<DLLINSTALL>(call->entryPoint)(call->install, call->text);
}

// DllInstall takes its text as UTF-16, converted from the ANSI code page.
static bool WinCallInstall(void *entryPoint, bool install, const char *text, int32_t *result, EntryPointCrash *crash)
{
    wchar_t *wide = WinWide(text);
    if (wide == nullptr)
    {
        *result = E_OUTOFMEMORY;
        return true;
    }
    InstallCall call = {entryPoint, install ? TRUE : FALSE, wide};
    const bool returned = GuardedCall(CallInstall, &call, result, crash);
    // A crashed component may still use the text: it is kept.
    if (returned)
        std::free(wide);
    return returned;
}

static void WinFreeModule(void *module)
{
    FreeLibrary(static_cast<HMODULE>(module));
}

static void WinSetLastError(uint32_t value)
{
    SetLastError(value);
}

static uint32_t WinLastError()
{
    return GetLastError();
}

// Each row goes to the process that started this one, if one did, and to the log, if there is one.
static void WinRowAdded(const RowReport &row)
{
    ReportChildRow(row);
    LogRow(row);
}

// The watchdog watches each step; a child also tells the process that started it, which ends it
// should a lock keep its own watchdog from abandoning the step.
static void WinWatchStep(bool running, uint32_t limitSeconds)
{
    ArmBatchGuard(); // a component may have replaced the filter since
    WatchCall(running, limitSeconds);
    if (running && childRun)
        ReportChildStep(limitSeconds);
}

// What happened meanwhile, for the next row: a thread that an earlier component left running and
// that crashed, then the windows the watchdog answered.
static bool WinTakeNote(char *text, size_t size)
{
    EntryPointCrash crash;
    if (!TakeLateCrash(&crash))
        return TakeWindowNote(text, size);
    ComposeLateCrashText(crash, text, size);
    const size_t length = lstrlenA(text);
    if (length + 2 < size && TakeWindowNote(text + length + 1, size - length - 1))
        text[length] = ' ';
    return true;
}

static uint32_t WinMilliseconds()
{
    return GetTickCount();
}

static void WinWaitForever()
{
    for (;;)
        Sleep(INFINITE);
}

PlatformOps WinPlatformOps()
{
    PlatformOps ops = {};
    SystemOps &system = ops.system;
    system.findEntryName = WinFindEntryName;
    system.fileExists = WinFileExists;
    system.fullPath = WinFullPath;
    system.currentFolder = WinCurrentFolder;
    system.changeFolder = WinChangeFolder;
    system.loadModule = WinLoadModule;
    system.findEntryPoint = WinFindEntryPoint;
    system.callEntryPoint = WinCallEntryPoint;
    system.callInstall = WinCallInstall;
    system.freeModule = WinFreeModule;
    system.setLastError = WinSetLastError;
    system.lastError = WinLastError;
    system.systemText = WinSystemText;
    system.isLeadByte = WinIsLeadByte;
    system.readFileStart = ReadFileStart;
    system.programMachine = PROGRAM_MACHINE;
    system.rowAdded = WinRowAdded;
    system.milliseconds = WinMilliseconds;
    system.watchStep = WinWatchStep;
    system.takeWindowNote = WinTakeNote;
    system.waitForever = WinWaitForever;
    ops.typeLibrary.registerTypeLibrary = WinRegisterTypeLibrary;
    ops.child.runTwin = RunTwin;
    ops.child.runRest = RunRest;
    ops.registry.begin = BeginRedirect;
    ops.registry.end = EndRedirect;
    ops.registry.keepRecording = childRun ? ReportChildText : AddRecordedText;
    ops.manifest.describeFile = DescribeManifestFile;
    ops.manifest.write = WriteManifestFile;
    ops.manifest.check = CheckManifest;
    ops.diagnose = WinDiagnoseOps();
    ops.verify = WinVerifyOps();
    return ops;
}
