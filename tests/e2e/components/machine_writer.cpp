// A component that writes to HKEY_LOCAL_MACHINE directly, as many do: its class under
// HKLM\Software\Classes\CLSID\{7B2D4F63-8C1E-4A3B-9D52-3F6E8B1C0A24}, and a vendor key outside the
// classes, HKLM\Software\TolVaneTestVendor (value "Installed" = 1). DllUnregisterServer removes both.
// Built with SLOW_WRITER, it takes a second and a half between the two keys.
#include <windows.h>

static const char CLASS_KEY[] = "Software\\Classes\\CLSID\\{7B2D4F63-8C1E-4A3B-9D52-3F6E8B1C0A24}";
static const char VENDOR_KEY[] = "Software\\TolVaneTestVendor";

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, CLASS_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    const char name[] = "TolVane Machine Writer";
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(name), sizeof name);
    RegCloseKey(key);
#if defined(SLOW_WRITER)
    Sleep(1500);
#endif
    status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, VENDOR_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    const DWORD one = 1;
    RegSetValueExA(key, "Installed", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), sizeof one);
    RegCloseKey(key);
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CLASS_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, VENDOR_KEY);
    return S_OK;
}
