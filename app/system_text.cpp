#include "app/system_text.h"

#include <cstdio>
#include <cstring>

static void NoSystemText(uint32_t code, char *text, size_t size)
{
    std::snprintf(text, size, "The system has no message for error code 0x%08X.", static_cast<unsigned>(code));
}

void FormatSystemText(SystemTextLookup lookup, uint32_t code, char *text, size_t size)
{
    if (size == 0)
        return;
    text[0] = '\0';
    if (!lookup(code, text, size) || text[0] == '\0')
        NoSystemText(code, text, size);
    text[size - 1] = '\0';
}

void FormatSystemRowText(SystemTextLookup lookup, uint32_t code, char *text, size_t size)
{
    if (size == 0)
        return;
    text[0] = '\0';
    if (lookup(code, text, size) && text[0] != '\0')
    {
        text[size - 1] = '\0';
        size_t length = std::strlen(text);
        if (length >= 2)
            text[length - 2] = '\0';
        if (text[0] != '\0')
            return;
    }
    NoSystemText(code, text, size);
}
