#include "base/text.h"

#include <cstring>

bool NoLeadBytes(unsigned char)
{
    return false;
}

size_t CopyWholeCharacters(char *out, size_t capacity, const char *begin, const char *end, LeadByteTest isLeadByte)
{
    size_t length = 0;
    for (const char *p = begin; p < end && *p != '\0';)
    {
        const size_t step = (isLeadByte(static_cast<unsigned char>(p[0])) && p[1] != '\0') ? 2 : 1;
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
