// A client of a class: creates the object of the class named on its command line, in process, as
// a program of its machine would. Its exit code is the HRESULT.
#include <windows.h>
#include <objbase.h>

int main(int argc, char **argv)
{
    wchar_t text[64];
    CLSID clsid;
    if (argc < 2 || MultiByteToWideChar(CP_ACP, 0, argv[1], -1, text, 64) == 0)
        return E_INVALIDARG;
    HRESULT hr = CLSIDFromString(text, &clsid);
    if (FAILED(hr))
        return hr;
    CoInitialize(nullptr);
    IUnknown *object = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&object));
    if (object != nullptr)
        object->Release();
    CoUninitialize();
    return hr;
}
