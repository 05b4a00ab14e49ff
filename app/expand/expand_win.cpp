#include "app/expand/expand_win.h"

#include <windows.h>
#include <cstdlib>
#include <cstring>

#include "app/expand/expand.h"
#include "base/run_state.h"
#include "base/system_win.h"

static bool WinListFolder(const char *folder, FolderEntrySink sink, void *context)
{
    char pattern[2 * MAX_PATH];
    if (lstrlenA(folder) + 2 > static_cast<int>(sizeof pattern))
        return false;
    lstrcpyA(pattern, folder);
    lstrcatA(pattern, "*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do
    {
        // A name the code page cannot hold comes with '?' in it, which no file name has: its short
        // name, where it has one, names the same file.
        const bool lossy = std::strchr(found.cFileName, '?') != nullptr;
        const char *name = lossy && found.cAlternateFileName[0] != '\0' ? found.cAlternateFileName : found.cFileName;
        sink(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, context);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

static bool WinIsFolder(const char *path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

AnsiArguments ExpandPatterns(const AnsiArguments &given)
{
    ExpandOps ops;
    ops.listFolder = WinListFolder;
    ops.readFile = WinReadFile;
    ops.isFolder = WinIsFolder;
    ops.fullPath = WinFullPath;
    ops.isLeadByte = WinIsLeadByte;
    ExpandedArguments expanded = {};
    if (!ExpandArguments(given.count, given.values, given.unrepresentable, unregisterMode != 0, ops, &expanded))
        return given;
    // Kept for the whole run, as the given ones are.
    wchar_t **wide = static_cast<wchar_t **>(std::calloc(static_cast<size_t>(expanded.count) + 1, sizeof(wchar_t *)));
    for (int i = 0; wide != nullptr && i < expanded.count; i++)
    {
        const int origin = expanded.origin[i];
        wide[i] = origin >= 0 ? given.wide[origin] : WinWide(expanded.values[i]);
        if (wide[i] != nullptr)
            continue;
        for (int made = 0; made < i; made++)
            if (expanded.origin[made] < 0)
                std::free(wide[made]);
        std::free(wide);
        wide = nullptr;
    }
    if (wide == nullptr)
    {
        FreeExpandedArguments(&expanded);
        return given;
    }
    return AnsiArguments{expanded.count, expanded.values, wide, expanded.unrepresentable};
}
