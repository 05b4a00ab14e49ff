#include "app/typelib/typelib_win.h"

#include <windows.h>
#include <oleauto.h>

#include "app/guard/crash_guard_win.h"
#include "base/system_win.h"

typedef HRESULT(WINAPI *LoadProc)(LPCOLESTR, REGKIND, ITypeLib **);
typedef HRESULT(WINAPI *RegisterProc)(ITypeLib *, LPCOLESTR, LPCOLESTR);
typedef HRESULT(WINAPI *UnregisterProc)(REFGUID, WORD, WORD, LCID, SYSKIND);

struct TypeLibraryCall
{
    LoadProc load;
    RegisterProc reg;
    UnregisterProc unreg;
    const wchar_t *path;
    bool unregister;
};

// Reads the library and registers or unregisters it; a damaged file can make OLE Automation fault
// in here, so it runs under the crash guard.
static int32_t RegisterGuarded(void *context)
{
    const TypeLibraryCall &call = *static_cast<const TypeLibraryCall *>(context);
    // REGKIND_NONE: the library is registered under the path as given, not the "\\?\" form that
    // REGKIND_REGISTER would store.
    ITypeLib *library = nullptr;
    HRESULT hr = call.load(call.path, REGKIND_NONE, &library);
    if (SUCCEEDED(hr) && !call.unregister)
        hr = call.reg(library, call.path, nullptr);
    else if (SUCCEEDED(hr))
    {
        TLIBATTR *attributes = nullptr;
        hr = library->GetLibAttr(&attributes);
        if (SUCCEEDED(hr))
        {
            hr = call.unreg(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                            attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
    }
    if (library != nullptr)
        library->Release();
    return hr;
}

// A type library is registered through OLE Automation, loaded from the system folder when the
// first one comes: a run without one never loads it.
bool WinRegisterTypeLibrary(const char *fullPath, bool unregister, int32_t *result, EntryPointCrash *crash)
{
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
    TypeLibraryCall call = {load, reg, unreg, path, unregister};
    GuardedCall(RegisterGuarded, &call, result, crash);
    return true;
}
