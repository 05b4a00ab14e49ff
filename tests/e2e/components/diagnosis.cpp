// Files whose failed rows TolVane explains, one source built several ways (DIAGNOSIS_KIND):
//   1 diag_b.dll, a plain DLL;  2 diag_a.dll, which imports diag_b.dll;
//   3 needs_a.dll, a component that imports diag_a.dll;  4 class_only.dll, a COM server that does
//   not register itself;  5 diag_a.dll for the other machine, importing nothing.
#include <windows.h>

#if DIAGNOSIS_KIND == 1 || DIAGNOSIS_KIND == 5
extern "C" __declspec(dllexport) int DiagnosisB()
{
    return 0;
}
#endif

#if DIAGNOSIS_KIND == 2
extern "C" __declspec(dllimport) int DiagnosisB();
extern "C" __declspec(dllexport) int DiagnosisA()
{
    return DiagnosisB();
}
#elif DIAGNOSIS_KIND == 5
extern "C" __declspec(dllexport) int DiagnosisA()
{
    return 0;
}
#endif

#if DIAGNOSIS_KIND == 3
extern "C" __declspec(dllimport) int DiagnosisA();
extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    return static_cast<HRESULT>(DiagnosisA());
}
#endif

#if DIAGNOSIS_KIND == 4
extern "C" __declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void **object)
{
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
#endif
