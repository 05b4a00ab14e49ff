// Components whose DllRegisterServer replaces the process's unhandled-exception filter and
// succeeds, one kind per build (FILTER_KIND):
//   1  removes it: SetUnhandledExceptionFilter(NULL);
//   2  installs PassOn, a filter inside this DLL that returns EXCEPTION_CONTINUE_SEARCH (the DLL
//      stays loaded only as long as the program keeps it);
//   3  installs PassOn and then crashes (a null write) in the same call: nothing but the system is
//      left to handle the crash.
// DllUnregisterServer always succeeds.
#include <windows.h>

[[maybe_unused]] static LONG WINAPI PassOn(EXCEPTION_POINTERS *)
{
    return EXCEPTION_CONTINUE_SEARCH;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
#if FILTER_KIND == 1
    SetUnhandledExceptionFilter(nullptr);
#elif FILTER_KIND == 2
    SetUnhandledExceptionFilter(PassOn);
#elif FILTER_KIND == 3
    SetUnhandledExceptionFilter(PassOn);
    static int *volatile nowhere = nullptr;
    *nowhere = 1;
#endif
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
