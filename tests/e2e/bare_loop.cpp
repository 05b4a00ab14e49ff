// The benchmark's baseline: the least a registration tool must do for each component named on
// its command line (load it, find DllRegisterServer, call it, unload it), and nothing else.
#include <windows.h>
#include <cstdlib>

typedef HRESULT(WINAPI *DLLREGISTER)(void);

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HRESULT result = 0;
    for (int i = 1; i < __argc; i++)
    {
        HMODULE module = LoadLibraryA(__argv[i]);
        if (module == nullptr)
            continue;
        DLLREGISTER entry =
            reinterpret_cast<DLLREGISTER>(reinterpret_cast<void *>(GetProcAddress(module, "DllRegisterServer")));
        if (entry != nullptr)
            result = entry();
        FreeLibrary(module);
    }
    return static_cast<int>(result);
}
