// The sample component: a minimal in-process COM server. Registering writes its class under
// HKEY_CLASSES_ROOT\CLSID, so that CoCreateInstance can create its object; unregistering
// removes the keys again.
// Built with SIDE_BY_SIDE (sxs_server.dll), it is the component for registration-free COM: two
// classes of its own with ProgIDs, an embedded type library (version 1.10), an automation
// interface that the system's proxy serves, an interface whose proxy/stub is its second class, and
// keys that no manifest can hold (a category, a vendor key under HKLM). Its objects answer to
// nothing but IUnknown. With SIDE_BY_SIDE=2 (sxs_broken.dll) it registers the second class but
// never serves it.
// The interfaces in their C form: plain structs with a table of functions.
#define CINTERFACE
#include <windows.h>
#include <ole2.h>
#include <cstdio>

// {6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}
static const CLSID CLSID_TolVaneSample = {0x6a1c3e52, 0x7b0d, 0x4f2a, {0x9c, 0x41, 0x2e, 0x5d, 0x7a, 0x0b, 0x9f, 0x13}};
static const char CLSID_KEY[] = "CLSID\\{6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}";
#if SIDE_BY_SIDE
// {9F4A6105-7E9B-4C01-B265-BD4E91AF7A5C}: served by the second class, which is also the proxy/stub
static const CLSID CLSID_TolVaneOther = {0x9f4a6105, 0x7e9b, 0x4c01, {0xb2, 0x65, 0xbd, 0x4e, 0x91, 0xaf, 0x7a, 0x5c}};
// In the side-by-side build, the first class is {8A3E5C71-...}: never the plain sample's.
static const CLSID CLSID_TolVaneSxs = {0x8a3e5c71, 0x2b4d, 0x4e6f, {0x90, 0x12, 0x3c, 0x5e, 0x7a, 0x9b, 0x1d, 0x2f}};
#define CLSID_TolVaneSample CLSID_TolVaneSxs
#define CLSID_KEY SXS_CLASS_KEY
static const char SXS_CLASS_KEY[] = "CLSID\\{8A3E5C71-2B4D-4E6F-9012-3C5E7A9B1D2F}";
static const char OTHER_KEY[] = "CLSID\\{9F4A6105-7E9B-4C01-B265-BD4E91AF7A5C}";
#endif

static HMODULE thisModule;
static LONG liveObjects;
static LONG serverLocks;

// The object: IUnknown only.
struct SampleObject
{
    IUnknown unknown;
    LONG references;
};

static HRESULT STDMETHODCALLTYPE ObjectQueryInterface(IUnknown *self, REFIID iid, void **out)
{
    if (out == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown))
    {
        *out = self;
        self->lpVtbl->AddRef(self);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE ObjectAddRef(IUnknown *self)
{
    return InterlockedIncrement(&reinterpret_cast<SampleObject *>(self)->references);
}

static ULONG STDMETHODCALLTYPE ObjectRelease(IUnknown *self)
{
    SampleObject *object = reinterpret_cast<SampleObject *>(self);
    LONG left = InterlockedDecrement(&object->references);
    if (left == 0)
    {
        HeapFree(GetProcessHeap(), 0, object);
        InterlockedDecrement(&liveObjects);
    }
    return left;
}

static IUnknownVtbl objectVtbl = {ObjectQueryInterface, ObjectAddRef, ObjectRelease};

// The class factory: one static instance.
static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory *self, REFIID iid, void **out)
{
    if (out == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory))
    {
        *out = self;
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory *)
{
    return 2;
}

static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory *)
{
    return 1;
}

static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory *, IUnknown *outer, REFIID iid, void **out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    SampleObject *object = static_cast<SampleObject *>(HeapAlloc(GetProcessHeap(), 0, sizeof(SampleObject)));
    if (object == nullptr)
        return E_OUTOFMEMORY;
    object->unknown.lpVtbl = &objectVtbl;
    object->references = 1;
    InterlockedIncrement(&liveObjects);
    HRESULT result = ObjectQueryInterface(&object->unknown, iid, out);
    ObjectRelease(&object->unknown);
    return result;
}

static HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory *, BOOL lock)
{
    if (lock)
        InterlockedIncrement(&serverLocks);
    else
        InterlockedDecrement(&serverLocks);
    return S_OK;
}

static IClassFactoryVtbl factoryVtbl = {FactoryQueryInterface, FactoryAddRef, FactoryRelease, FactoryCreateInstance,
                                        FactoryLockServer};
static IClassFactory factory = {&factoryVtbl};

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        thisModule = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **out)
{
    bool served = IsEqualCLSID(clsid, CLSID_TolVaneSample);
#if SIDE_BY_SIDE == 1
    served = served || IsEqualCLSID(clsid, CLSID_TolVaneOther);
#endif
    if (!served)
    {
        *out = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return FactoryQueryInterface(&factory, iid, out);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow()
{
    return (liveObjects == 0 && serverLocks == 0) ? S_OK : S_FALSE;
}

static HRESULT SetKeyValue(HKEY parent, const char *subKey, const char *name, const char *value)
{
    HKEY key;
    LONG status = RegCreateKeyExA(parent, subKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
    {
        SetLastError(status);
        return HRESULT_FROM_WIN32(status);
    }
    status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                            static_cast<DWORD>(lstrlenA(value) + 1));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
    {
        SetLastError(status);
        return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

#if SIDE_BY_SIDE
static HRESULT RegisterSideBySide(const char *modulePath)
{
    char key[200];
    static const char *const values[][3] = {
        {"", "ProgID", "TolVane.SxsSample.1"},
        {"", "VersionIndependentProgID", "TolVane.SxsSample"},
        {"", "TypeLib", "{7D2E4F83-5C79-4EAF-9043-9B2C7F8D5E3A}"},
        {"", "Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}", ""},
        {"-", "", "TolVane <other> & \"quoted\" class"},
        {"-", "ProgID", "TolVane.SxsOther.1"},
        {"-", "InprocServer32", nullptr},
    };
    HRESULT result = S_OK;
    for (const auto &value : values)
    {
        std::snprintf(key, sizeof key, "%s%s%s", value[0][0] == '-' ? OTHER_KEY : SXS_CLASS_KEY,
                      value[1][0] != '\0' ? "\\" : "", value[1]);
        if (SUCCEEDED(result))
            result = SetKeyValue(HKEY_CLASSES_ROOT, key, nullptr, value[2] != nullptr ? value[2] : modulePath);
    }
    std::snprintf(key, sizeof key, "%s\\InprocServer32", OTHER_KEY);
    const char *const keys[][3] = {
        {key, "ThreadingModel", "Both"},
        {"TolVane.SxsSample\\CLSID", nullptr, "{8A3E5C71-2B4D-4E6F-9012-3C5E7A9B1D2F}"},
        {"TolVane.SxsSample\\CurVer", nullptr, "TolVane.SxsSample.1"},
        {"TolVane.SxsSample.1\\CLSID", nullptr, "{8A3E5C71-2B4D-4E6F-9012-3C5E7A9B1D2F}"},
        {"Interface\\{A04B7216-8FAC-4D12-C376-CE5FA2B08B6D}", nullptr, "ISxsOwnProxy"},
        {"Interface\\{B15C8328-90BD-4E23-D487-DF60B3C19C7E}", nullptr, "ISxsAutomation"},
        {"Interface\\{B15C8328-90BD-4E23-D487-DF60B3C19C7E}\\ProxyStubClsid32", nullptr,
         "{00020424-0000-0000-C000-000000000046}"},
        {"Interface\\{B15C8328-90BD-4E23-D487-DF60B3C19C7E}\\TypeLib", nullptr,
         "{7D2E4F83-5C79-4EAF-9043-9B2C7F8D5E3A}"},
        {"Interface\\{A04B7216-8FAC-4D12-C376-CE5FA2B08B6D}\\ProxyStubClsid32", nullptr,
         "{9F4A6105-7E9B-4C01-B265-BD4E91AF7A5C}"},
    };
    for (const auto &value : keys)
        if (SUCCEEDED(result))
            result = SetKeyValue(HKEY_CLASSES_ROOT, value[0], value[1], value[2]);
    HKEY vendor = nullptr;
    if (SUCCEEDED(result) && RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\TolVaneSxsVendor", 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &vendor, nullptr) == ERROR_SUCCESS)
    {
        const DWORD one = 1;
        RegSetValueExA(vendor, "Licensed", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), sizeof one);
        RegCloseKey(vendor);
    }
    // The embedded type library.
    wchar_t widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, modulePath, -1, widePath, MAX_PATH);
    ITypeLib *library = nullptr;
    if (SUCCEEDED(result))
        result = LoadTypeLibEx(widePath, REGKIND_NONE, &library);
    if (SUCCEEDED(result))
    {
        result = RegisterTypeLib(library, widePath, nullptr);
        library->lpVtbl->Release(library);
    }
    return result;
}
#endif

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    char modulePath[MAX_PATH];
    GetModuleFileNameA(thisModule, modulePath, sizeof modulePath);
    char serverKey[sizeof CLSID_KEY + 32];
    std::snprintf(serverKey, sizeof serverKey, "%s\\InprocServer32", CLSID_KEY);
    HRESULT result = SetKeyValue(HKEY_CLASSES_ROOT, CLSID_KEY, nullptr, "TolVane Sample Object");
    if (SUCCEEDED(result))
        result = SetKeyValue(HKEY_CLASSES_ROOT, serverKey, nullptr, modulePath);
    if (SUCCEEDED(result))
        result = SetKeyValue(HKEY_CLASSES_ROOT, serverKey, "ThreadingModel", "Apartment");
#if SIDE_BY_SIDE
    if (SUCCEEDED(result))
        result = RegisterSideBySide(modulePath);
#endif
    return result;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    char serverKey[sizeof CLSID_KEY + 32];
    std::snprintf(serverKey, sizeof serverKey, "%s\\InprocServer32", CLSID_KEY);
    LONG status = RegDeleteKeyA(HKEY_CLASSES_ROOT, serverKey);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
        status = RegDeleteKeyA(HKEY_CLASSES_ROOT, CLSID_KEY);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
    {
        SetLastError(status);
        return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}
