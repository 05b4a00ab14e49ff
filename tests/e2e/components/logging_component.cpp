// A component whose entry points succeed. Each call appends one line to the file named by the
// TOLVANE_TEST_LOG environment variable: "<call>|<module path>|<current folder>", where the call is
// register, unregister, or DllInstall(TRUE|FALSE, "<text>").
#include <windows.h>
#include <cstdio>

static HMODULE thisModule;

static void LogCall(const char *mode)
{
    char logPath[MAX_PATH];
    if (GetEnvironmentVariableA("TOLVANE_TEST_LOG", logPath, sizeof logPath) == 0)
        return;
    char modulePath[MAX_PATH] = "";
    char folder[MAX_PATH] = "";
    GetModuleFileNameA(thisModule, modulePath, sizeof modulePath);
    GetCurrentDirectoryA(sizeof folder, folder);
    FILE *log = std::fopen(logPath, "a");
    if (log == nullptr)
        return;
    std::fprintf(log, "%s|%s|%s\n", mode, modulePath, folder);
    std::fclose(log);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        thisModule = instance;
    return TRUE;
}

#if LOG_ON_THREAD
// Built with LOG_ON_THREAD, the entry points log from a thread of their own that first uses the
// process heap, and wait for it at most 10 seconds (else they fail with ERROR_TIMEOUT): a component
// run after a crash that left a lock held can still start threads and use the heap.
static DWORD WINAPI Work(LPVOID mode)
{
    HANDLE heap = GetProcessHeap();
    HeapFree(heap, 0, HeapAlloc(heap, 0, 4096));
    LogCall(static_cast<const char *>(mode));
    return 0;
}

static HRESULT Call(const char *mode)
{
    HANDLE thread = CreateThread(nullptr, 0, Work, const_cast<char *>(mode), 0, nullptr);
    if (thread == nullptr)
        return HRESULT_FROM_WIN32(GetLastError());
    const DWORD waited = WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    return waited == WAIT_OBJECT_0 ? S_OK : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}
#else
static HRESULT Call(const char *mode)
{
    LogCall(mode);
    return S_OK;
}
#endif

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    return Call("register");
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return Call("unregister");
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllInstall(BOOL install, LPCWSTR text)
{
    char ansi[512] = "";
    WideCharToMultiByte(CP_ACP, 0, text != nullptr ? text : L"(null)", -1, ansi, sizeof ansi, nullptr, nullptr);
    char call[600];
    std::snprintf(call, sizeof call, "DllInstall(%s, \"%s\")", install ? "TRUE" : "FALSE", ansi);
    LogCall(call);
    return S_OK;
}
