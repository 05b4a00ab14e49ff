#include "base/system_text.h"

#include <cstdio>
#include <cstring>

static void NoSystemText(uint32_t code, char *text, size_t size)
{
    std::snprintf(text, size, "The system has no message for error code 0x%08X.", static_cast<unsigned>(code));
}

// Puts insert in place of every "%1" of text (size bytes), e.g. error 193's "%1 is not a valid
// Win32 application."; other inserts and "%%" stay as they are. What does not fit is cut.
static void FillFirstInsert(char *text, size_t size, const char *insert)
{
    if (size == 0 || insert == nullptr || std::strstr(text, "%1") == nullptr)
        return;
    char filled[1024];
    size_t length = 0;
    auto append = [&](const char *part, size_t count) {
        for (size_t i = 0; i < count && length + 1 < sizeof filled; i++)
            filled[length++] = part[i];
    };
    for (const char *at = text; *at != '\0'; at++)
    {
        if (at[0] == '%' && at[1] == '%')
        {
            append(at, 2); // an escaped percent sign, not an insert
            at++;
        }
        else if (at[0] == '%' && at[1] == '1' && !(at[2] >= '0' && at[2] <= '9'))
        {
            append(insert, std::strlen(insert));
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
            append(at, 1);
        }
    }
    filled[length] = '\0';
    std::snprintf(text, size, "%s", filled);
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
