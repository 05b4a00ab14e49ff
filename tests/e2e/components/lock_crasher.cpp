// Components whose DllRegisterServer takes a process-wide lock and then writes to a null pointer
// on the calling thread, never releasing the lock; one lock per build (LOCK_KIND):
//   1  the process heap's lock: HeapLock(GetProcessHeap());
//   2  the loader lock: ntdll's LdrLockLoaderLock (if ntdll lacks it, it only crashes).
// DllUnregisterServer always succeeds.
#include <windows.h>

typedef LONG(NTAPI *LDR_LOCK_LOADER_LOCK)(ULONG flags, ULONG *state, ULONG_PTR *cookie);

// Read through a volatile pointer, so the compiler cannot see the null and emit a trap instead.
static int *volatile nowhere = nullptr;

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
#if LOCK_KIND == 1
    HeapLock(GetProcessHeap());
#elif LOCK_KIND == 2
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    LDR_LOCK_LOADER_LOCK lockLoader = ntdll ? reinterpret_cast<LDR_LOCK_LOADER_LOCK>(
                                                  reinterpret_cast<void *>(GetProcAddress(ntdll, "LdrLockLoaderLock")))
                                            : nullptr;
    ULONG_PTR cookie = 0;
    if (lockLoader != nullptr)
        lockLoader(0, nullptr, &cookie);
#endif
    *nowhere = 1;
    return E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
