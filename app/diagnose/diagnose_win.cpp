#include "app/diagnose/diagnose_win.h"

#include <windows.h>
#include <cstdlib>
#include <cstring>

#include "app/paths/path_parts.h"
#include "base/system_win.h"

// folder, a separator when it lacks one, and name into out, when it is an existing file.
static bool FileIn(const char *folder, size_t folderLength, const char *name, char *out, size_t size)
{
    char directory[PATH_BUFFER_SIZE], candidate[PATH_BUFFER_SIZE];
    if (folderLength == 0 || folderLength >= sizeof directory)
        return false;
    CopyWholeCharacters(directory, sizeof directory, folder, folder + folderLength, WinIsLeadByte);
    if (!MakePath(candidate, nullptr, directory, name, nullptr, WinIsLeadByte) || std::strlen(candidate) >= size)
        return false;
    const DWORD attributes = GetFileAttributesA(candidate);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    std::strcpy(out, candidate);
    return true;
}

// The Visual C++ 2005 and 2008 runtimes live in the side-by-side store, where the component's
// manifest sends the loader: one found there is not missing.
static bool InSideBySideStore(const char *name, char *out, size_t size)
{
    char folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0 || length + 32 >= MAX_PATH)
        return false;
    lstrcatA(folder, sizeof(void *) == 8 ? "\\WinSxS\\amd64_microsoft.vc*" : "\\WinSxS\\x86_microsoft.vc*");
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(folder, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    const size_t storeLength = length + 8; // "<windows>\WinSxS\"
    bool found = false;
    do
    {
        folder[storeLength] = '\0';
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            storeLength + std::strlen(entry.cFileName) < MAX_PATH)
        {
            lstrcatA(folder, entry.cFileName);
            found = FileIn(folder, std::strlen(folder), name, out, size);
        }
    } while (!found && FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

static bool WinFindModule(const char *name, const char *componentFolder, char *out, size_t size)
{
    char folder[MAX_PATH];
    if (FileIn(componentFolder, std::strlen(componentFolder), name, out, size))
        return true;
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length < sizeof folder && FileIn(folder, length, name, out, size))
        return true;
    length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length < sizeof folder && FileIn(folder, length, name, out, size))
        return true;
    length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length < sizeof folder && FileIn(folder, length, name, out, size))
        return true;
    const DWORD pathSize = 32767;
    char *path = static_cast<char *>(std::malloc(pathSize));
    bool found = false;
    const DWORD pathLength = path != nullptr ? GetEnvironmentVariableA("PATH", path, pathSize) : 0;
    for (const char *entry = path; pathLength > 0 && pathLength < pathSize && !found && *entry != '\0';)
    {
        const char *end = std::strchr(entry, ';');
        const size_t entryLength = end != nullptr ? static_cast<size_t>(end - entry) : std::strlen(entry);
        // A PATH entry may be quoted.
        if (entryLength >= 2 && entry[0] == '"' && entry[entryLength - 1] == '"')
            found = FileIn(entry + 1, entryLength - 2, name, out, size);
        else
            found = FileIn(entry, entryLength, name, out, size);
        entry += entryLength + (end != nullptr ? 1 : 0);
    }
    std::free(path);
    return found || InSideBySideStore(name, out, size);
}

static bool WinIsKnownDll(const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    bool known = false;
    for (DWORD index = 0; !known; index++)
    {
        char valueName[256];
        DWORD valueNameSize = sizeof valueName;
        char data[MAX_PATH];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type,
                                          reinterpret_cast<BYTE *>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize] = '\0';
        known = lstrcmpiA(data, name) == 0;
    }
    RegCloseKey(key);
    return known;
}

DiagnoseOps WinDiagnoseOps()
{
    DiagnoseOps ops;
    ops.readFile = WinReadFile;
    ops.findModule = WinFindModule;
    ops.isKnownDll = WinIsKnownDll;
    ops.isElevated = ProcessIsElevated;
    ops.isLeadByte = WinIsLeadByte;
    return ops;
}
