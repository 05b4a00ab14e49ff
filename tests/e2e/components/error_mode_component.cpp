// A component that tells the error mode it runs under: DllRegisterServer returns 0x20000000 (the
// customer bit, so the value is no system code) with the process's error mode in the low bits.
// DllUnregisterServer always succeeds.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    return static_cast<HRESULT>(0x20000000u | GetErrorMode());
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
