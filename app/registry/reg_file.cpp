#include "app/registry/reg_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr uint32_t TYPE_SZ = 1;
constexpr uint32_t TYPE_BINARY = 3;
constexpr uint32_t TYPE_DWORD = 4;
constexpr size_t LINE_WIDTH = 80; // regedit's: a hex line ends with "\" before it is longer

void AppendBytes(RegText *text, const char *part, size_t count)
{
    if (text->failed)
        return;
    if (text->length + count + 1 > text->capacity)
    {
        size_t capacity = text->capacity == 0 ? 4096 : text->capacity;
        while (text->length + count + 1 > capacity)
            capacity *= 2;
        char *grown = static_cast<char *>(std::realloc(text->data, capacity));
        if (grown == nullptr)
        {
            text->failed = true;
            return;
        }
        text->data = grown;
        text->capacity = capacity;
    }
    std::memcpy(text->data + text->length, part, count);
    text->length += count;
    text->data[text->length] = '\0';
}

void AppendText(RegText *text, const char *part)
{
    AppendBytes(text, part, std::strlen(part));
}

void FreeText(RegText *text)
{
    std::free(text->data);
    *text = RegText{};
}

void AppendRegKey(RegText *text, const char *root, const char *path)
{
    AppendText(text, "\r\n[");
    AppendText(text, root);
    if (path[0] != '\0')
    {
        AppendText(text, "\\");
        AppendText(text, path);
    }
    AppendText(text, "]\r\n");
}

// A quoted string: \ and " get a backslash.
static void AppendQuoted(RegText *text, const char *value)
{
    AppendText(text, "\"");
    for (const char *at = value; *at != '\0'; at++)
    {
        if (*at == '\\' || *at == '"')
            AppendBytes(text, "\\", 1);
        AppendBytes(text, at, 1);
    }
    AppendText(text, "\"");
}

// Hex bytes separated by commas, on lines of at most LINE_WIDTH, each but the last ending in "\".
static void AppendHex(RegText *text, const char *prefix, const unsigned char *bytes, size_t size, size_t column)
{
    AppendText(text, prefix);
    column += std::strlen(prefix);
    for (size_t i = 0; i < size; i++)
    {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x%s", bytes[i], i + 1 < size ? "," : "");
        AppendText(text, byte);
        column += std::strlen(byte);
        if (i + 1 < size && column + 3 > LINE_WIDTH - 2)
        {
            AppendText(text, "\\\r\n  ");
            column = 2;
        }
    }
    AppendText(text, "\r\n");
}

// A REG_SZ that the quoted form holds exactly: one terminated string without line ends.
static bool FitsQuoted(const unsigned char *bytes, size_t size, const char *textUtf8)
{
    if (textUtf8 == nullptr || std::strchr(textUtf8, '\r') != nullptr || std::strchr(textUtf8, '\n') != nullptr)
        return false;
    // UTF-16 data: one terminator at its end, none inside.
    for (size_t i = 0; i + 1 < size; i += 2)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && i + 2 != size)
            return false;
    return true;
}

void AppendRegValue(RegText *text, const char *name, uint32_t type, const unsigned char *bytes, size_t size,
                    const char *textUtf8)
{
    const size_t start = text->length;
    if (name == nullptr || name[0] == '\0')
        AppendText(text, "@");
    else
        AppendQuoted(text, name);
    AppendText(text, "=");
    const size_t column = text->length - start;
    if (type == TYPE_SZ && FitsQuoted(bytes, size, textUtf8))
    {
        AppendQuoted(text, textUtf8);
        AppendText(text, "\r\n");
        return;
    }
    if (type == TYPE_DWORD && size == 4)
    {
        char dword[24];
        std::snprintf(dword, sizeof dword, "dword:%08x\r\n",
                      static_cast<unsigned>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                            static_cast<uint32_t>(bytes[3]) << 24));
        AppendText(text, dword);
        return;
    }
    char prefix[16];
    if (type == TYPE_BINARY)
        std::snprintf(prefix, sizeof prefix, "hex:");
    else
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
    AppendHex(text, prefix, bytes, size, column);
}

bool RegNameIsFaithful(const char *name, size_t length, bool key)
{
    for (size_t i = 0; i < length; i++)
        if (name[i] == '\r' || name[i] == '\n' || name[i] == '\0')
            return false;
    return !key || length == 0 || name[length - 1] != ']';
}

void AddToNameList(char *list, size_t size, const char *name, size_t length)
{
    size_t used = std::strlen(list);
    const size_t separator = used > 0 ? 2 : 0;
    if (used + separator + length + 1 > size)
        return;
    if (separator > 0)
        std::memcpy(list + used, ", ", 2);
    used += separator;
    for (size_t i = 0; i < length; i++)
        list[used++] = static_cast<unsigned char>(name[i]) < ' ' ? '?' : name[i];
    list[used] = '\0';
}
