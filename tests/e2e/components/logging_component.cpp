// A component whose entry points succeed. Each call appends one line to the file named by the
// TOLVANE_TEST_LOG environment variable: "<call>|<module path>|<current folder>", where the call is
// register, unregister, or DllInstall(TRUE|FALSE, "<text>"). DllInstall returns the value in
// TOLVANE_TEST_INSTALL_RESULT (hexadecimal; none: 0), with the last-error value 5 when it fails.
#include <windows.h>
#include <cstdio>
#include <cstdlib>

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

extern "C" __declspec(dllexport) HRESULT WINAPI DllInstall(BOOL install, LPCWSTR text)
{
    char ansi[512] = "";
    WideCharToMultiByte(CP_ACP, 0, text != nullptr ? text : L"(null)", -1, ansi, sizeof ansi, nullptr, nullptr);
    char call[600];
    std::snprintf(call, sizeof call, "DllInstall(%s, \"%s\")", install ? "TRUE" : "FALSE", ansi);
    LogCall(call);
    char result[32] = "0";
    GetEnvironmentVariableA("TOLVANE_TEST_INSTALL_RESULT", result, sizeof result);
    const HRESULT hr = static_cast<HRESULT>(std::strtoul(result, nullptr, 16));
    if (hr != S_OK)
        SetLastError(ERROR_ACCESS_DENIED);
    return hr;
}
