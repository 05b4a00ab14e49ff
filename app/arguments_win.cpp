#include "app/arguments_win.h"

#include <windows.h>
#include <shellapi.h>
#include <cstdlib>

// An argument in the ANSI code page; false in *lossy when a character had no exact match there.
static char *ToAnsi(const wchar_t *wide, bool *lossy)
{
    // A UTF-8 code page holds every character, and takes neither the flag nor the question.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, nullptr);
    char *text = size > 0 ? static_cast<char *>(std::malloc(static_cast<size_t>(size))) : nullptr;
    if (text == nullptr)
        return nullptr;
    if (WideCharToMultiByte(CP_ACP, flags, wide, -1, text, size, nullptr, utf8 ? nullptr : &usedDefault) == 0)
        text[0] = '\0';
    *lossy = usedDefault != FALSE;
    return text;
}

bool ReadAnsiArguments(AnsiArguments *arguments)
{
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return false;
    // Kept until the process ends, like the rows that point into them.
    char **values = static_cast<char **>(std::calloc(static_cast<size_t>(count) + 1, sizeof(char *)));
    bool *lossy = static_cast<bool *>(std::calloc(static_cast<size_t>(count) + 1, sizeof(bool)));
    bool complete = values != nullptr && lossy != nullptr;
    for (int i = 0; complete && i < count; i++)
    {
        values[i] = ToAnsi(wide[i], &lossy[i]);
        complete = values[i] != nullptr;
    }
    LocalFree(wide);
    if (!complete)
        return false;
    arguments->count = count;
    arguments->values = values;
    arguments->unrepresentable = lossy;
    return true;
}
