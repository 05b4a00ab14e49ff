#include "app/platform_win.h"

#include <windows.h>
#include <direct.h>
#include <cstdlib>

#include "app/child/child_run_win.h"
#include "app/diagnose/diagnose_win.h"
#include "app/guard/crash_guard_win.h"
#include "app/guard/watchdog_win.h"
#include "app/manifest/manifest_win.h"
#include "app/registry/redirect_win.h"
#include "app/typelib/typelib_win.h"
#include "app/verify/verify_win.h"
#include "report/log_win.h"
#include "app/child/twin_win.h"
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

// False with the system's reason in the last-error value; 206 when the full path is too long.
static bool WinFullPath(const char *path, char *out, size_t size)
{
    DWORD length = GetFullPathNameA(path, static_cast<DWORD>(size), out, nullptr);
    if (length >= size)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return length != 0 && length < size;
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
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    wchar_t *wide =
        length > 0 ? static_cast<wchar_t *>(std::malloc(static_cast<size_t>(length) * sizeof(wchar_t))) : nullptr;
    if (wide == nullptr)
    {
        *result = E_OUTOFMEMORY;
        return true;
    }
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length);
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

static uint32_t WinMilliseconds()
{
    return GetTickCount();
}

static void WinWaitForever()
{
    for (;;)
        Sleep(INFINITE);
}

// A component that ends the process (ExitProcess) while its entry point runs in the first process:
// its row still reaches the log. Windows tells this program's TLS callback of the process detach; Wine tells only the
// batch thread's fiber-local storage, so both listen, and the first to hear reports.
static void ReportEndedUnderCall()
{
    // A child's end is seen by the process that started it, with the exit code too.
    static volatile LONG reported;
    RowReport row = {};
    if (childRun || !PendingCall(&row) || InterlockedExchange(&reported, 1) != 0)
        return;
    // The exit code the component chose is set only once the process is gone, on Wine at least.
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(GetCurrentProcess(), &exitCode);
    char text[160];
    if (exitCode != STILL_ACTIVE)
        wsprintfA(text, "The component ended the process with exit code %d.", static_cast<int>(exitCode));
    else
        lstrcpyA(text, "The component ended the process while its entry point ran; the exit code it chose cannot be "
                       "seen from inside the process.");
    row.text = text;
    row.code = exitCode != STILL_ACTIVE ? static_cast<int32_t>(exitCode) : ERROR_PROCESS_ABORTED;
    row.kind = ROW_OWN_TEXT;
    row.called = true;
    row.result = row.code;
    LogRow(row);
}

static void NTAPI OnProcessDetach(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        ReportEndedUnderCall();
}

static void WINAPI OnFiberDataFreed(PVOID)
{
    ReportEndedUnderCall();
}

#if defined(_MSC_VER)
#pragma comment(linker, "/INCLUDE:_tls_used")
#pragma section(".CRT$XLB", read)
extern "C" __declspec(allocate(".CRT$XLB")) PIMAGE_TLS_CALLBACK tolvaneProcessDetach = OnProcessDetach;
#else
extern "C"
{
    __attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK tolvaneProcessDetach = OnProcessDetach;
}
#endif

void ListenForProcessEnd()
{
    typedef DWORD(WINAPI * FlsAllocProc)(PFLS_CALLBACK_FUNCTION);
    typedef BOOL(WINAPI * FlsSetValueProc)(DWORD, PVOID);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FlsAllocProc flsAlloc =
        kernel ? reinterpret_cast<FlsAllocProc>(reinterpret_cast<void *>(GetProcAddress(kernel, "FlsAlloc"))) : nullptr;
    FlsSetValueProc flsSetValue =
        kernel ? reinterpret_cast<FlsSetValueProc>(reinterpret_cast<void *>(GetProcAddress(kernel, "FlsSetValue")))
               : nullptr;
    if (flsAlloc == nullptr || flsSetValue == nullptr)
        return;
    const DWORD index = flsAlloc(OnFiberDataFreed);
    if (index != FLS_OUT_OF_INDEXES)
        flsSetValue(index, reinterpret_cast<PVOID>(1));
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
    system.watchStep = WatchCall;
    system.takeWindowNote = TakeWindowNote;
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
