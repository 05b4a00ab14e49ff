// A client of the side-by-side test component that never registers it: it creates its first class
// by CLSID and by ProgID, and loads its type library by GUID and version 1.10, as an application
// whose manifest names the component's assembly does. Its exit code is the first failure's HRESULT,
// 0 when all succeeded.
#include <windows.h>
#include <ole2.h>

static const CLSID CLSID_Sxs = {0x8a3e5c71, 0x2b4d, 0x4e6f, {0x90, 0x12, 0x3c, 0x5e, 0x7a, 0x9b, 0x1d, 0x2f}};
static const GUID LIBID_Sxs = {0x7d2e4f83, 0x5c79, 0x4eaf, {0x90, 0x43, 0x9b, 0x2c, 0x7f, 0x8d, 0x5e, 0x3a}};

int main()
{
    HRESULT result = CoInitialize(nullptr);
    IUnknown *object = nullptr;
    if (SUCCEEDED(result))
        result = CoCreateInstance(CLSID_Sxs, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void **>(&object));
    if (object != nullptr)
        object->Release();
    // Which CLSID the ProgID gives under a manifest is the system's business (Wine makes one up).
    CLSID byName;
    if (SUCCEEDED(result))
        result = CLSIDFromProgID(L"TolVane.SxsSample.1", &byName);
    if (SUCCEEDED(result))
        result = CLSIDFromProgID(L"TolVane.SxsSample", &byName);
    ITypeLib *library = nullptr;
    if (SUCCEEDED(result))
        result = LoadRegTypeLib(LIBID_Sxs, 1, 10, 0, &library);
    if (library != nullptr)
        library->Release();
    CoUninitialize();
    return static_cast<int>(result);
}
