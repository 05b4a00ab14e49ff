#include "app/typelib/typelib_win.h"

#include <windows.h>
#include <oleauto.h>

#include "base/system_win.h"

// A type library is registered through OLE Automation, loaded from the system folder when the
// first one comes: a run without one never loads it.
bool WinRegisterTypeLibrary(const char *fullPath, bool unregister, int32_t *result)
{
    typedef HRESULT(WINAPI * LoadProc)(LPCOLESTR, REGKIND, ITypeLib **);
    typedef HRESULT(WINAPI * RegisterProc)(ITypeLib *, LPCOLESTR, LPCOLESTR);
    typedef HRESULT(WINAPI * UnregisterProc)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE automation = LoadSystemModule("oleaut32.dll");
    if (automation == nullptr)
        return false;
    LoadProc load = reinterpret_cast<LoadProc>(reinterpret_cast<void *>(GetProcAddress(automation, "LoadTypeLibEx")));
    RegisterProc reg =
        reinterpret_cast<RegisterProc>(reinterpret_cast<void *>(GetProcAddress(automation, "RegisterTypeLib")));
    UnregisterProc unreg =
        reinterpret_cast<UnregisterProc>(reinterpret_cast<void *>(GetProcAddress(automation, "UnRegisterTypeLib")));
    wchar_t path[MAX_PATH];
    if (load == nullptr || reg == nullptr || unreg == nullptr ||
        MultiByteToWideChar(CP_ACP, 0, fullPath, -1, path, MAX_PATH) == 0)
        return false;
    // REGKIND_NONE: the library is registered under the path as given, not the "\\?\" form that
    // REGKIND_REGISTER would store.
    ITypeLib *library = nullptr;
    HRESULT hr = load(path, REGKIND_NONE, &library);
    if (SUCCEEDED(hr) && !unregister)
        hr = reg(library, path, nullptr);
    else if (SUCCEEDED(hr))
    {
        TLIBATTR *attributes = nullptr;
        hr = library->GetLibAttr(&attributes);
        if (SUCCEEDED(hr))
        {
            hr = unreg(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                       attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
    }
    if (library != nullptr)
        library->Release();
    *result = hr;
    return true;
}
