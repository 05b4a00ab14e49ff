// A component whose DllRegisterServer changes the current folder to the one named by the
// TOLVANE_TEST_CHDIR environment variable and succeeds; it fails (with the last-error value) if the
// folder cannot be entered, so a test cannot pass on a change that never happened.
// DllUnregisterServer always succeeds.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    char folder[MAX_PATH];
    if (GetEnvironmentVariableA("TOLVANE_TEST_CHDIR", folder, sizeof folder) == 0 || !SetCurrentDirectoryA(folder))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
