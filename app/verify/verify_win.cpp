#include "app/verify/verify_win.h"

#include <windows.h>
#include <ole2.h>
#include <cstdlib>
#include <cstring>

#include "app/guard/crash_guard_win.h"

// A key as a recording names it ("HKEY_CLASSES_ROOT\CLSID\{...}"), opened for reading in view;
// null when it is not there.
static HKEY OpenKey(const char *key, int view)
{
    static const struct
    {
        const char *name;
        HKEY root;
    } ROOTS[] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                 {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                 {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                 {"HKEY_USERS", HKEY_USERS}};
    const char *slash = std::strchr(key, '\\');
    const size_t rootLength = slash != nullptr ? static_cast<size_t>(slash - key) : std::strlen(key);
    wchar_t path[2048];
    if (MultiByteToWideChar(CP_UTF8, 0, slash != nullptr ? slash + 1 : "", -1, path, 2048) == 0)
        return nullptr;
    const REGSAM sam = KEY_READ | (view == VIEW_32 ? KEY_WOW64_32KEY : view == VIEW_64 ? KEY_WOW64_64KEY : 0);
    for (const auto &root : ROOTS)
    {
        HKEY opened = nullptr;
        if (std::strlen(root.name) == rootLength && std::strncmp(root.name, key, rootLength) == 0)
            return RegOpenKeyExW(root.root, path, 0, sam, &opened) == ERROR_SUCCESS ? opened : nullptr;
    }
    return nullptr;
}

static bool WinKeyExists(const char *key, int view)
{
    HKEY opened = OpenKey(key, view);
    if (opened != nullptr)
        RegCloseKey(opened);
    return opened != nullptr;
}

static bool WinReadValue(const char *key, const char *name, int view, uint32_t *type, unsigned char *data,
                         size_t *size)
{
    HKEY opened = OpenKey(key, view);
    wchar_t wideName[1024];
    DWORD bytes = 0, valueType = 0;
    unsigned char *raw = nullptr;
    if (opened != nullptr && MultiByteToWideChar(CP_UTF8, 0, name, -1, wideName, 1024) != 0 &&
        RegQueryValueExW(opened, wideName, nullptr, &valueType, nullptr, &bytes) == ERROR_SUCCESS &&
        (raw = static_cast<unsigned char *>(std::calloc(bytes + 4, 1))) != nullptr &&
        RegQueryValueExW(opened, wideName, nullptr, &valueType, raw, &bytes) != ERROR_SUCCESS)
    {
        std::free(raw);
        raw = nullptr;
    }
    if (opened != nullptr)
        RegCloseKey(opened);
    if (raw == nullptr)
        return false;
    *type = valueType;
    size_t length = bytes;
    if (valueType == REG_SZ || valueType == REG_EXPAND_SZ)
    {
        const wchar_t *text = reinterpret_cast<const wchar_t *>(raw);
        const int units = lstrlenW(text);
        length = static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr));
        if (length <= *size)
            WideCharToMultiByte(CP_UTF8, 0, text, units, reinterpret_cast<char *>(data), static_cast<int>(length),
                                nullptr, nullptr);
    }
    else if (length <= *size)
        std::memcpy(data, raw, length);
    *size = length;
    std::free(raw);
    return true;
}

// A path without its quotes and with its environment variables expanded, as its file's identity:
// its volume and index, or, for a file that cannot be opened, its long full path.
struct FileIdentity
{
    BY_HANDLE_FILE_INFORMATION information;
    bool opened;
    wchar_t path[MAX_PATH];
};

static bool Identify(const wchar_t *given, FileIdentity *identity)
{
    wchar_t unquoted[MAX_PATH], expanded[MAX_PATH];
    lstrcpynW(unquoted, given[0] == L'"' ? given + 1 : given, MAX_PATH);
    const int length = lstrlenW(unquoted);
    if (length > 0 && unquoted[length - 1] == L'"')
        unquoted[length - 1] = L'\0';
    const DWORD expandedLength = ExpandEnvironmentStringsW(unquoted, expanded, MAX_PATH);
    if (expandedLength == 0 || expandedLength > MAX_PATH ||
        GetFullPathNameW(expanded, MAX_PATH, identity->path, nullptr) == 0)
        return false;
    HANDLE file = CreateFileW(identity->path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    identity->opened = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &identity->information);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    wchar_t longPath[MAX_PATH];
    const DWORD longLength = GetLongPathNameW(identity->path, longPath, MAX_PATH);
    if (longLength > 0 && longLength < MAX_PATH)
        lstrcpyW(identity->path, longPath);
    return true;
}

static bool SameFileWide(const wchar_t *a, const wchar_t *b)
{
    FileIdentity first, second;
    if (!Identify(a, &first) || !Identify(b, &second))
        return false;
    if (first.opened && second.opened)
        return first.information.dwVolumeSerialNumber == second.information.dwVolumeSerialNumber &&
               first.information.nFileIndexHigh == second.information.nFileIndexHigh &&
               first.information.nFileIndexLow == second.information.nFileIndexLow;
    return lstrcmpiW(first.path, second.path) == 0;
}

static bool WinSameFile(const char *a, const char *b)
{
    wchar_t first[MAX_PATH], second[MAX_PATH];
    return MultiByteToWideChar(CP_UTF8, 0, a, -1, first, MAX_PATH) != 0 &&
           MultiByteToWideChar(CP_UTF8, 0, b, -1, second, MAX_PATH) != 0 && SameFileWide(first, second);
}

struct ClassRequest
{
    const char *clsid;
    const char *fullPath;
    bool *thisFile;
    char *server;
    size_t serverSize;
};

// The class object, had in process through the registry; the module that its table of functions
// lies in serves it.
static int32_t HaveClassObject(void *context)
{
    const ClassRequest *request = static_cast<const ClassRequest *>(context);
    wchar_t text[64];
    CLSID clsid;
    HRESULT result = MultiByteToWideChar(CP_UTF8, 0, request->clsid, -1, text, 64) != 0
                         ? CLSIDFromString(text, &clsid)
                         : E_INVALIDARG;
    IUnknown *object = nullptr;
    if (SUCCEEDED(result))
        result = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                                  reinterpret_cast<void **>(&object));
    if (FAILED(result))
        return result;
    HMODULE module = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           *reinterpret_cast<LPCSTR *>(object), &module) &&
        GetModuleFileNameA(module, request->server, static_cast<DWORD>(request->serverSize)) != 0)
    {
        wchar_t server[MAX_PATH], component[MAX_PATH];
        *request->thisFile = MultiByteToWideChar(CP_ACP, 0, request->server, -1, server, MAX_PATH) != 0 &&
                             MultiByteToWideChar(CP_ACP, 0, request->fullPath, -1, component, MAX_PATH) != 0 &&
                             SameFileWide(server, component);
    }
    object->Release();
    CoFreeUnusedLibraries();
    return S_OK;
}

static bool WinClassServer(const char *clsid, const char *fullPath, int32_t *result, bool *thisFile, char *server,
                           size_t serverSize, EntryPointCrash *crash)
{
    ClassRequest request = {clsid, fullPath, thisFile, server, serverSize};
    *thisFile = false;
    lstrcpynA(server, "an unknown module", static_cast<int>(serverSize));
    return GuardedCall(HaveClassObject, &request, result, crash);
}

static unsigned WinKeyViews(const char *key)
{
    BOOL wow64 = FALSE;
    const bool otherView = sizeof(void *) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
    const unsigned own = WinKeyExists(key, VIEW_32) ? static_cast<unsigned>(VIEW_32) : 0u;
    return own | (otherView && WinKeyExists(key, VIEW_64) ? static_cast<unsigned>(VIEW_64) : 0u);
}

VerifyOps WinVerifyOps()
{
    VerifyOps ops = {};
    ops.keyExists = WinKeyExists;
    ops.readValue = WinReadValue;
    ops.sameFile = WinSameFile;
    ops.classServer = WinClassServer;
    ops.keyViews = WinKeyViews;
    return ops;
}
