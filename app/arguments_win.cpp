#include "app/arguments_win.h"

#include <windows.h>
#include <cstdlib>

#include "app/arguments.h"

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
    const wchar_t *line = GetCommandLineW();
    const size_t length = static_cast<size_t>(lstrlenW(line));
    wchar_t *buffer = static_cast<wchar_t *>(std::malloc((length + 1) * sizeof(wchar_t)));
    wchar_t **wide = static_cast<wchar_t **>(std::malloc((length / 2 + 2) * sizeof(wchar_t *)));
    bool complete = buffer != nullptr && wide != nullptr;
    const size_t count = complete ? SplitCommandLine(line, buffer, wide) : 0;
    // The arguments, wide and ANSI, are kept for the whole run; rows take copies of them.
    char **values = static_cast<char **>(std::calloc(count + 1, sizeof(char *)));
    bool *lossy = static_cast<bool *>(std::calloc(count + 1, sizeof(bool)));
    complete = complete && values != nullptr && lossy != nullptr;
    for (size_t i = 0; complete && i < count; i++)
    {
        values[i] = ToAnsi(wide[i], &lossy[i]);
        complete = values[i] != nullptr;
    }
    if (!complete)
        return false;
    arguments->count = static_cast<int>(count);
    arguments->values = values;
    arguments->wide = wide;
    arguments->unrepresentable = lossy;
    return true;
}
