#include "base/system_win.h"

#include <cstdlib>

#include "base/pe_file.h"

HINSTANCE appInstance;

bool WinSystemText(uint32_t code, char *text, size_t size)
{
    // Without FORMAT_MESSAGE_IGNORE_INSERTS a text with an insert (error 193's "%1") makes the
    // call fail, or read arguments that do not exist.
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK | FORMAT_MESSAGE_IGNORE_INSERTS;
    return FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                          static_cast<DWORD>(size), nullptr) != 0;
}

bool WinIsLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) != FALSE;
}

HMODULE LoadSystemModule(const char *name)
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length + 1 + lstrlenA(name) + 1 > sizeof path)
        return nullptr;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return LoadLibraryA(path);
}

static void TemporaryName(const wchar_t *path, wchar_t *out)
{
    wsprintfW(out, L"%s.tolvane-%lu.tmp", path, GetCurrentProcessId());
}

uint32_t WriteWholeFile(const wchar_t *path, const void *bytes, uint32_t length)
{
    wchar_t temporary[MAX_PATH + 32];
    if (lstrlenW(path) >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    TemporaryName(path, temporary);
    HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool done = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes, length, &written, nullptr) &&
                      written == length && FlushFileBuffers(file);
    uint32_t error = done ? 0 : GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (done && !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != 0 && file != INVALID_HANDLE_VALUE)
        DeleteFileW(temporary);
    return error;
}

uint32_t ProbeWritable(const wchar_t *path)
{
    wchar_t temporary[MAX_PATH + 32];
    if (lstrlenW(path) >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    TemporaryName(path, temporary);
    HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(file);
    return 0;
}

bool ProcessIsElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD returned = 0;
    const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &returned) &&
                          elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

bool WinFullPath(const char *path, char *out, size_t size)
{
    const DWORD length = GetFullPathNameA(path, static_cast<DWORD>(size), out, nullptr);
    if (length >= size)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return length != 0 && length < size;
}

wchar_t *WinWide(const char *text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    wchar_t *wide =
        length > 0 ? static_cast<wchar_t *>(std::malloc(static_cast<size_t>(length) * sizeof(wchar_t))) : nullptr;
    if (wide != nullptr)
        MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length);
    return wide;
}

size_t ReadFileStart(const char *path, unsigned char *bytes, size_t size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD count = 0;
    if (!ReadFile(file, bytes, static_cast<DWORD>(size), &count, nullptr))
        count = 0;
    CloseHandle(file);
    return count;
}

// The same file, however it is named: same volume, same file index.
bool WinSameFile(const char *first, const char *second)
{
    if (lstrcmpiA(first, second) == 0)
        return true;
    BY_HANDLE_FILE_INFORMATION info[2];
    const char *paths[2] = {first, second};
    for (int i = 0; i < 2; i++)
    {
        HANDLE file = CreateFileA(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        BOOL known = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!known)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

bool WinReadFile(const char *path, unsigned char **bytes, size_t *size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) || (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0))
        return false;
    // A larger file is read up to the bound: its headers are at its start.
    const size_t wanted = data.nFileSizeHigh != 0 || data.nFileSizeLow > PE_MAX_FILE ? PE_MAX_FILE : data.nFileSizeLow;
    *bytes = static_cast<unsigned char *>(std::malloc(wanted));
    *size = *bytes != nullptr ? ReadFileStart(path, *bytes, wanted) : 0;
    if (*size > 0)
        return true;
    std::free(*bytes);
    *bytes = nullptr;
    return false;
}
