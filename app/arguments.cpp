#include "app/arguments.h"

static bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

size_t SplitCommandLine(const wchar_t *line, wchar_t *buffer, wchar_t **arguments)
{
    size_t count = 0;
    wchar_t *out = buffer;

    // The program's name knows no escapes.
    arguments[count++] = out;
    if (*line == L'"')
    {
        for (line++; *line != L'\0' && *line != L'"'; line++)
            *out++ = *line;
        if (*line == L'"')
            line++;
    }
    else
    {
        for (; *line != L'\0' && !IsBlank(*line); line++)
            *out++ = *line;
    }
    *out++ = L'\0';

    for (;;)
    {
        while (IsBlank(*line))
            line++;
        if (*line == L'\0')
            return count;
        arguments[count++] = out;
        bool quoted = false;
        while (*line != L'\0' && (quoted || !IsBlank(*line)))
        {
            size_t backslashes = 0;
            while (*line == L'\\')
            {
                backslashes++;
                line++;
            }
            if (*line != L'"')
            {
                for (; backslashes > 0; backslashes--)
                    *out++ = L'\\';
                if (*line != L'\0' && (quoted || !IsBlank(*line)))
                    *out++ = *line++;
                continue;
            }
            for (size_t i = 0; i < backslashes / 2; i++)
                *out++ = L'\\';
            if (backslashes % 2 == 1)
                *out++ = L'"';
            else if (quoted && line[1] == L'"')
            {
                *out++ = L'"';
                line++;
            }
            else
                quoted = !quoted;
            line++;
        }
        *out++ = L'\0';
    }
}
