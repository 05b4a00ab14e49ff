#include "app/platform_win.h"

#include <windows.h>
#include <oleauto.h>
#include <direct.h>
#include <cstdlib>

#include "app/child/child_run_win.h"
#include "app/guard/crash_guard_win.h"
#include "app/guard/watchdog_win.h"
#include "app/manifest/manifest_win.h"
#include "app/registry/redirect_win.h"
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
    WatchCall(true);
    const bool returned = GuardedCall(CallRegister, entryPoint, result, crash);
    WatchCall(false);
    return returned;
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
    WatchCall(true);
    const bool returned = GuardedCall(CallInstall, &call, result, crash);
    WatchCall(false);
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

// A type library is registered through OLE Automation, loaded from the system folder when the
// first one comes: a run without one never loads it.
static bool WinRegisterTypeLibrary(const char *fullPath, bool unregister, int32_t *result)
{
    typedef HRESULT(WINAPI * LoadProc)(LPCOLESTR, REGKIND, ITypeLib **);
    typedef HRESULT(WINAPI * RegisterProc)(ITypeLib *, LPCOLESTR, LPCOLESTR);
    typedef HRESULT(WINAPI * UnregisterProc)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE automation = LoadSystemModule("oleaut32.dll");
    if (automation == nullptr)
        return false;
    LoadProc load = reinterpret_cast<LoadProc>(reinterpret_cast<void *>(GetProcAddress(automation, "LoadTypeLibEx")));
    RegisterProc reg =
        reinterpret_cast<RegisterProc>(reinterpret_cast<void *>(GetProcAddress(automation, "RegisterTypeLib")));
    UnregisterProc unreg =
        reinterpret_cast<UnregisterProc>(reinterpret_cast<void *>(GetProcAddress(automation, "UnRegisterTypeLib")));
    wchar_t path[MAX_PATH];
    if (load == nullptr || reg == nullptr || unreg == nullptr ||
        MultiByteToWideChar(CP_ACP, 0, fullPath, -1, path, MAX_PATH) == 0)
        return false;
    // REGKIND_NONE: the library is registered under the path as given, not the "\\?\" form that
    // REGKIND_REGISTER would store.
    ITypeLib *library = nullptr;
    HRESULT hr = load(path, REGKIND_NONE, &library);
    if (SUCCEEDED(hr) && !unregister)
        hr = reg(library, path, nullptr);
    else if (SUCCEEDED(hr))
    {
        TLIBATTR *attributes = nullptr;
        hr = library->GetLibAttr(&attributes);
        if (SUCCEEDED(hr))
        {
            hr = unreg(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                       attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
    }
    if (library != nullptr)
        library->Release();
    *result = hr;
    return true;
}

// Each row goes to the process that started this one, if one did, and to the log, if there is one.
static void WinRowAdded(const ChildRow &row)
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
    ChildRow row = {};
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

const PlatformOps winPlatformOps = {
    WinFindEntryName,  WinFileExists,     WinFullPath,    WinCurrentFolder,       WinChangeFolder, WinLoadModule,
    WinFindEntryPoint, WinCallEntryPoint, WinCallInstall, WinFreeModule,          WinSetLastError, WinLastError,
    WinSystemText,     WinIsLeadByte,     ReadFileStart,  WinRegisterTypeLibrary, RunTwin,         RunRest,
    WinRowAdded,       WinMilliseconds,   TakeWindowNote, WinWaitForever,         BeginRedirect,   EndRedirect,
    PROGRAM_MACHINE,   DescribeManifestFile, WriteManifestFile, CheckManifest,
};
