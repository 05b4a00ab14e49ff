#include "app/platform_win.h"

#include <windows.h>
#include <direct.h>

#include "app/child/child_run_win.h"
#include "app/crash_guard_win.h"
#include "app/twin_win.h"
#include "base/system_win.h"

static bool WinFindEntryName(const char *pattern, char *name, void *)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    lstrcpynA(name, found.cFileName, MAX_PATH);
    return true;
}

// A file that exists but cannot be read (locked, or access denied) goes on to the load, which says why.
static bool WinFileExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// False with the system's reason in the last-error value; 206 when the full path is too long.
static bool WinFullPath(const char *path, char *out, size_t size)
{
    DWORD length = GetFullPathNameA(path, static_cast<DWORD>(size), out, nullptr);
    if (length >= size)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return length != 0 && length < size;
}

static bool WinCurrentFolder(char *out, size_t size)
{
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(size), out);
    return length != 0 && length < size;
}

static void WinChangeFolder(const char *folder)
{
    _chdir(folder);
}

// As the system's own registration tool does: the DLLs that the component imports are looked for
// in its own folder first.
static void *WinLoadModule(const char *path)
{
    return reinterpret_cast<void *>(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

static void *WinFindEntryPoint(void *module, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

static bool WinCallEntryPoint(void *entryPoint, int32_t *result, EntryPointCrash *crash)
{
    return GuardedCall(reinterpret_cast<DLLREGISTER>(entryPoint), result, crash);
}

static void WinFreeModule(void *module)
{
    FreeLibrary(static_cast<HMODULE>(module));
}

static void WinSetLastError(uint32_t value)
{
    SetLastError(value);
}

static uint32_t WinLastError()
{
    return GetLastError();
}

const PlatformOps winPlatformOps = {
    WinFindEntryName,  WinFileExists,     WinFullPath,   WinCurrentFolder, WinChangeFolder, WinLoadModule,
    WinFindEntryPoint, WinCallEntryPoint, WinFreeModule, WinSetLastError,  WinLastError,    WinSystemText,
    WinIsLeadByte,     ReadFileStart,     RunTwin,       RunRest,          ReportChildRow,  PROGRAM_MACHINE,
};
