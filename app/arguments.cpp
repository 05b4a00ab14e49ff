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

// Appends text to out at *length when it fits in size characters with the terminator; the length
// grows either way, so that the caller learns the whole length.
static void Put(wchar_t *out, size_t size, size_t *length, wchar_t c)
{
    if (*length + 1 < size)
        out[*length] = c;
    (*length)++;
}

// An argument as the splitter gives it back: as it is when it holds no blank, tab or quotation
// mark, else in quotation marks.
static void PutQuoted(wchar_t *out, size_t size, size_t *length, const wchar_t *argument)
{
    bool plain = argument[0] != L'\0';
    for (const wchar_t *at = argument; *at != L'\0'; at++)
        plain = plain && *at != L' ' && *at != L'\t' && *at != L'"';
    if (plain)
    {
        for (const wchar_t *at = argument; *at != L'\0'; at++)
            Put(out, size, length, *at);
        return;
    }
    Put(out, size, length, L'"');
    size_t backslashes = 0;
    for (const wchar_t *at = argument;; at++)
    {
        if (*at == L'\\')
        {
            backslashes++;
            continue;
        }
        const bool quoteFollows = *at == L'"' || *at == L'\0';
        for (size_t i = 0; i < (quoteFollows ? backslashes * 2 : backslashes); i++)
            Put(out, size, length, L'\\');
        backslashes = 0;
        if (*at == L'\0')
            break;
        if (*at == L'"')
            Put(out, size, length, L'\\');
        Put(out, size, length, *at);
    }
    Put(out, size, length, L'"');
}

static void PutAscii(wchar_t *out, size_t size, size_t *length, const char *text)
{
    for (; *text != '\0'; text++)
        Put(out, size, length, static_cast<wchar_t>(static_cast<unsigned char>(*text)));
}

size_t BuildChildCommandLine(const wchar_t *program, const char *childArgument, const wchar_t *const *options,
                             size_t optionCount, const wchar_t *const *arguments, size_t count, wchar_t *out,
                             size_t size)
{
    // The program's name is taken up to the next quotation mark, backslashes and all.
    size_t length = 0;
    Put(out, size, &length, L'"');
    for (const wchar_t *at = program; *at != L'\0'; at++)
        Put(out, size, &length, *at);
    Put(out, size, &length, L'"');
    PutAscii(out, size, &length, " ");
    PutAscii(out, size, &length, childArgument);
    for (size_t i = 0; i < optionCount; i++)
    {
        Put(out, size, &length, L' ');
        PutQuoted(out, size, &length, options[i]);
    }
    for (size_t i = 0; i < count; i++)
    {
        Put(out, size, &length, L' ');
        PutQuoted(out, size, &length, arguments[i]);
    }
    if (size > 0)
        out[length < size ? length : size - 1] = L'\0';
    return length;
}
