#include "app/manifest/manifest_win.h"

#include <windows.h>
#include <ole2.h>

#include "app/guard/crash_guard_win.h"
#include "app/paths/path_parts.h"
#include "base/system_win.h"

void DescribeManifestFile(const char *fullPath, char *utf8Name, size_t size, uint16_t version[4])
{
    const char *name = FileNamePart(fullPath, WinIsLeadByte);
    wchar_t wide[MAX_PATH];
    utf8Name[0] = '\0';
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH) > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8Name, static_cast<int>(size), nullptr, nullptr);
    version[0] = 1;
    version[1] = version[2] = version[3] = 0;
    HMODULE module = LoadLibraryExA(fullPath, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr)
        return;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16)); // RT_VERSION
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void *bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    uint16_t found[4];
    if (bytes != nullptr &&
        ReadFixedFileVersion(static_cast<const unsigned char *>(bytes), SizeofResource(module, resource), found))
        for (int i = 0; i < 4; i++)
            version[i] = found[i];
    FreeLibrary(module);
}

bool WriteManifestFile(const char *path, const char *text, size_t length, uint32_t *error)
{
    wchar_t wide[MAX_PATH];
    *error = MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0
                 ? GetLastError()
                 : WriteWholeFile(wide, text, static_cast<uint32_t>(length));
    return *error == 0;
}

struct ClassCheck
{
    const ManifestSummary *summary;
    ManifestCheck *check;
    bool load;
};

// Each class's object, had through the active context and released at once; or, where the
// component is not beside the manifest, each class found in the context.
static int32_t GetClassObjects(void *context)
{
    const ClassCheck *classes = static_cast<const ClassCheck *>(context);
    for (int i = 0; i < classes->summary->checkCount; i++)
    {
        wchar_t text[40];
        CLSID clsid;
        MultiByteToWideChar(CP_ACP, 0, classes->summary->classIds[i], -1, text, 40);
        HRESULT result = CLSIDFromString(text, &clsid);
        IUnknown *object = nullptr;
        ACTCTX_SECTION_KEYED_DATA found = {};
        found.cbSize = sizeof found;
        if (SUCCEEDED(result) && classes->load)
            result = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                                      reinterpret_cast<void **>(&object));
        else if (SUCCEEDED(result) &&
                 !FindActCtxSectionGuid(0, nullptr, ACTIVATION_CONTEXT_SECTION_COM_SERVER_REDIRECTION, &clsid, &found))
            result = HRESULT_FROM_WIN32(GetLastError());
        if (FAILED(result))
        {
            classes->check->failedClass = i;
            return result;
        }
        if (object != nullptr)
            object->Release();
    }
    CoFreeUnusedLibraries();
    return 0;
}

bool CheckManifest(const char *path, const char *folder, bool load, const ManifestSummary &summary,
                   ManifestCheck *check, EntryPointCrash *crash)
{
    *check = ManifestCheck{};
    check->failedClass = -1;
    ACTCTXA description = {};
    description.cbSize = sizeof description;
    description.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    description.lpSource = path;
    description.lpAssemblyDirectory = folder;
    HANDLE context = CreateActCtxA(&description);
    ULONG_PTR cookie = 0;
    if (context == INVALID_HANDLE_VALUE || !ActivateActCtx(context, &cookie))
    {
        check->result = static_cast<int32_t>(HRESULT_FROM_WIN32(GetLastError()));
        if (context != INVALID_HANDLE_VALUE)
            ReleaseActCtx(context);
        return true;
    }
    ClassCheck classes = {&summary, check, load};
    int32_t result = 0;
    const bool returned = GuardedCall(GetClassObjects, &classes, &result, crash);
    DeactivateActCtx(returned ? 0 : DEACTIVATE_ACTCTX_FLAG_FORCE_EARLY_DEACTIVATION, cookie);
    ReleaseActCtx(context);
    check->result = returned ? result : 0;
    return returned;
}

bool PrepareManifestFolder(const char *folder, uint32_t *error)
{
    wchar_t wide[MAX_PATH], full[MAX_PATH];
    const DWORD length = MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, MAX_PATH) == 0
                             ? 0
                             : GetFullPathNameW(wide, MAX_PATH - 16, full, nullptr);
    if (length == 0 || length >= MAX_PATH - 16)
        *error = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    else
    {
        lstrcatW(full, L"\\tolvane");
        *error = ProbeWritable(full);
    }
    return *error == 0;
}
