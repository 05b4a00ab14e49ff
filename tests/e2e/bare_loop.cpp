// The benchmark's baselines. bare_loop.exe: the least a registration tool can do for each
// component named on its command line (load it, find DllRegisterServer, call it, unload it), and
// nothing else. floor_loop.exe (FLOOR_LOOP): the least a careful tool must do, as regsvr32 does:
// OLE initialised around the calls, for components that use COM as they register, and each
// component loaded with the DLLs it imports looked for beside it first.
#include <windows.h>
#if FLOOR_LOOP
#include <ole2.h>
#endif
#include <cstdlib>

typedef HRESULT(WINAPI *DLLREGISTER)(void);

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
#if FLOOR_LOOP
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    const DWORD loadFlags = LOAD_WITH_ALTERED_SEARCH_PATH;
#else
    const DWORD loadFlags = 0;
#endif
    HRESULT result = 0;
    for (int i = 1; i < __argc; i++)
    {
        HMODULE module = LoadLibraryExA(__argv[i], nullptr, loadFlags);
        if (module == nullptr)
            continue;
        DLLREGISTER entry =
            reinterpret_cast<DLLREGISTER>(reinterpret_cast<void *>(GetProcAddress(module, "DllRegisterServer")));
        if (entry != nullptr)
            result = entry();
        FreeLibrary(module);
    }
#if FLOOR_LOOP
    OleUninitialize();
#endif
    return static_cast<int>(result);
}
