// The sample component: a minimal in-process COM server. Registering writes its class under
// HKEY_CLASSES_ROOT\CLSID, so that CoCreateInstance can create its object; unregistering
// removes the keys again.
// The interfaces in their C form: plain structs with a table of functions.
#define CINTERFACE
#include <windows.h>
#include <ole2.h>
#include <cstdio>

// {6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}
static const CLSID CLSID_TolVaneSample = {0x6a1c3e52, 0x7b0d, 0x4f2a, {0x9c, 0x41, 0x2e, 0x5d, 0x7a, 0x0b, 0x9f, 0x13}};
static const char CLSID_KEY[] = "CLSID\\{6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}";

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
    if (!IsEqualCLSID(clsid, CLSID_TolVaneSample))
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
