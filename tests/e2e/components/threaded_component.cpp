// A component whose entry points do their work on a thread of their own: each starts a thread that
// allocates and frees memory on the process heap and appends one line to the file named by the
// TOLVANE_TEST_LOG environment variable, "<register|unregister>|<module path>|<current folder>",
// then waits for it at most 10 seconds. Each returns S_OK if the thread finished, else
// HRESULT_FROM_WIN32(ERROR_TIMEOUT) (or the error if the thread cannot start). It shows that a
// component run after a crash can still start threads and use the heap.
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

static DWORD WINAPI Work(LPVOID mode)
{
    HANDLE heap = GetProcessHeap();
    void *block = HeapAlloc(heap, HEAP_ZERO_MEMORY, 4096);
    if (block == nullptr)
        return 1;
    HeapFree(heap, 0, block);
    LogCall(static_cast<const char *>(mode));
    return 0;
}

static HRESULT RunOnThread(const char *mode)
{
    HANDLE thread = CreateThread(nullptr, 0, Work, const_cast<char *>(mode), 0, nullptr);
    if (thread == nullptr)
        return HRESULT_FROM_WIN32(GetLastError());
    const DWORD waited = WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    return waited == WAIT_OBJECT_0 ? S_OK : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        thisModule = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    return RunOnThread("register");
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return RunOnThread("unregister");
}
