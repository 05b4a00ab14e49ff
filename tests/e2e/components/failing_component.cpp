// A component whose entry points fail: each sets the last-error value to FAIL_LAST_ERROR and
// returns FAIL_RESULT. Built several times with different values.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    SetLastError(FAIL_LAST_ERROR);
    return static_cast<HRESULT>(FAIL_RESULT);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    SetLastError(FAIL_LAST_ERROR);
    return static_cast<HRESULT>(FAIL_RESULT);
}
