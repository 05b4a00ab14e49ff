#include "app/system_text.h"

#include <cstdio>
#include <cstring>
#include <string>

static void NoSystemText(uint32_t code, char *text, size_t size)
{
    std::snprintf(text, size, "The system has no message for error code 0x%08X.", static_cast<unsigned>(code));
}

void FillFirstInsert(char *text, size_t size, const char *insert)
{
    if (size == 0 || insert == nullptr)
        return;
    std::string filled;
    for (const char *at = text; *at != '\0'; at++)
    {
        if (at[0] == '%' && at[1] == '%')
        {
            filled += "%%"; // an escaped percent sign, not an insert
            at++;
        }
        else if (at[0] == '%' && at[1] == '1' && !(at[2] >= '0' && at[2] <= '9'))
        {
            filled += insert;
            at++;
            // "%1!s!": the insert's printf form goes with it.
            if (at[1] == '!')
            {
                const char *close = std::strchr(at + 2, '!');
                if (close != nullptr)
                    at = close;
            }
        }
        else
        {
            filled += *at;
        }
    }
    std::snprintf(text, size, "%s", filled.c_str());
}

void FormatSystemText(SystemTextLookup lookup, uint32_t code, const char *insert, char *text, size_t size)
{
    if (size == 0)
        return;
    text[0] = '\0';
    if (!lookup(code, text, size) || text[0] == '\0')
        NoSystemText(code, text, size);
    text[size - 1] = '\0';
    FillFirstInsert(text, size, insert);
}

void FormatSystemRowText(SystemTextLookup lookup, uint32_t code, const char *insert, char *text, size_t size)
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
        // Filled after the cut, so that a path too long for the buffer never costs the text its end.
        if (text[0] != '\0')
        {
            FillFirstInsert(text, size, insert);
            return;
        }
    }
    NoSystemText(code, text, size);
}
