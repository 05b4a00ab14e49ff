// A component whose entry points succeed. Each call appends one line to the file named by the
// TOLVANE_TEST_LOG environment variable: "<register|unregister>|<module path>|<current folder>".
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

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    LogCall("register");
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    LogCall("unregister");
    return S_OK;
}
