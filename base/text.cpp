#include "base/text.h"

#include <cstring>

bool NoLeadBytes(unsigned char)
{
    return false;
}

char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

size_t CharacterLength(const char *text, LeadByteTest isLeadByte)
{
    return isLeadByte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

bool SameIgnoringCase(const char *a, const char *b, LeadByteTest isLeadByte)
{
    while (*a != '\0')
    {
        const size_t length = CharacterLength(a, isLeadByte);
        if (length == 2 ? std::strncmp(a, b, 2) != 0 : FoldCase(*a) != FoldCase(*b))
            return false;
        a += length;
        b += length;
    }
    return *b == '\0';
}

const char *AfterIgnoringCase(const char *text, const char *prefix)
{
    for (; *prefix != '\0'; text++, prefix++)
        if (FoldCase(*text) != FoldCase(*prefix))
            return nullptr;
    return text;
}

size_t CopyWholeCharacters(char *out, size_t capacity, const char *begin, const char *end, LeadByteTest isLeadByte)
{
    size_t length = 0;
    for (const char *p = begin; p < end && *p != '\0';)
    {
        const size_t step = CharacterLength(p, isLeadByte);
        if (length + step > capacity - 1)
            break;
        std::memcpy(out + length, p, step);
        length += step;
        p += step;
    }
    out[length] = '\0';
    return length;
}

bool AppendWhole(char *out, size_t size, size_t *length, const char *text, LeadByteTest isLeadByte)
{
    const size_t count = std::strlen(text);
    size_t copied = 0;
    if (out != nullptr && *length < size)
        copied = CopyWholeCharacters(out + *length, size - *length, text, text + count, isLeadByte);
    *length += count;
    return copied == count;
}
