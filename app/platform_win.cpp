#include "app/platform_win.h"

#include <direct.h>

#include "app/crash_guard_win.h"
#include "app/paths/long_path.h"
#include "app/twin_win.h"

HINSTANCE appInstance;

bool WinSystemText(uint32_t code, char *text, size_t size)
{
    // Without FORMAT_MESSAGE_IGNORE_INSERTS a text with an insert (error 193's "%1") makes the
    // call fail, or read arguments that do not exist.
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK | FORMAT_MESSAGE_IGNORE_INSERTS;
    return FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                          static_cast<DWORD>(size), nullptr) != 0;
}

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

static void WinExpandLongPath(char *path)
{
    ExpandLongPath(path, WinFindEntryName, nullptr);
}

// A file that exists but cannot be read (locked, or access denied) goes on to the load, which says why.
static bool WinFileExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

static bool WinFullPath(const char *path, char *out, size_t size)
{
    DWORD length = GetFullPathNameA(path, static_cast<DWORD>(size), out, nullptr);
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

static bool WinIsLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) != FALSE;
}

const PlatformOps winPlatformOps = {
    WinExpandLongPath, WinFileExists,  WinFullPath,   WinCurrentFolder, WinChangeFolder,
    WinLoadModule,     WinFindEntryPoint, WinCallEntryPoint, WinFreeModule, WinSetLastError,
    WinLastError,      WinSystemText,  WinIsLeadByte, ReadFileStart,    RunTwin,
    PROGRAM_MACHINE,
};
