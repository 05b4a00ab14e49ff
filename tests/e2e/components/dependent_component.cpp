// A component that imports tvdep.dll: its entry points return what that DLL answers, so 0 when
// the DLL beside the component was loaded.
#include <windows.h>

extern "C" __declspec(dllimport) int WhichDependency();

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    return static_cast<HRESULT>(WhichDependency());
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return static_cast<HRESULT>(WhichDependency());
}
