#include "base/system_win.h"

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
