// A component whose DllRegisterServer ends the whole process with ExitProcess(7).
// DllUnregisterServer always succeeds.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    ExitProcess(7);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
