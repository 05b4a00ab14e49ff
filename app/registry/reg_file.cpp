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

// The classes' roots, as the recording names them.
static const char *ClassPath(const char *path)
{
    static const char *const ROOTS[] = {"HKEY_CLASSES_ROOT\\", "HKEY_LOCAL_MACHINE\\Software\\Classes\\",
                                        "HKEY_CURRENT_USER\\Software\\Classes\\"};
    for (const char *root : ROOTS)
        if (const char *rest = AfterIgnoringCase(path, root))
            return rest;
    return nullptr;
}

static bool Grow(void **array, int count, size_t itemSize)
{
    if (count % 64 != 0)
        return true;
    void *grown = std::realloc(*array, (static_cast<size_t>(count) + 64) * itemSize);
    if (grown == nullptr)
        return false;
    *array = grown;
    return true;
}

// Reads a quoted string at *at (after its opening quote) in place: \\ and \" lose their
// backslash. Leaves *at after the closing quote; the string ends there.
static char *ReadQuoted(char **at)
{
    char *start = *at;
    char *out = start;
    char *in = start;
    for (; *in != '\0' && *in != '"'; in++)
    {
        if (*in == '\\' && (in[1] == '\\' || in[1] == '"'))
            in++;
        *out++ = *in;
    }
    *at = *in == '"' ? in + 1 : in;
    *out = '\0';
    return start;
}

// One line of the text, made a string; null at the end.
static char *NextLine(char **at)
{
    if (**at == '\0')
        return nullptr;
    char *line = *at;
    char *end = std::strchr(line, '\n');
    *at = end != nullptr ? end + 1 : line + std::strlen(line);
    if (end != nullptr)
        *end = '\0';
    const size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\r')
        line[length - 1] = '\0';
    return line;
}

static int HexDigit(char c)
{
    c = FoldCase(c);
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The hex bytes of text ("41,00,\") appended at out; returns the count.
static size_t DecodeHex(const char *text, unsigned char *out)
{
    size_t count = 0;
    for (; text[0] != '\0'; text++)
        if (HexDigit(text[0]) >= 0 && HexDigit(text[1]) >= 0)
        {
            out[count++] = static_cast<unsigned char>(HexDigit(text[0]) * 16 + HexDigit(text[1]));
            text++;
        }
    return count;
}

// UTF-16LE (size bytes, up to a terminator) as UTF-8 at out, terminated; returns its length.
static size_t Utf16AsUtf8(const unsigned char *bytes, size_t size, unsigned char *out)
{
    size_t length = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
    {
        uint32_t c = bytes[i] | bytes[i + 1] << 8;
        if (c == 0)
            break;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < size)
        {
            const uint32_t low = bytes[i + 2] | bytes[i + 3] << 8;
            if (low >= 0xDC00 && low < 0xE000)
            {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c < 0x80)
            out[length++] = static_cast<unsigned char>(c);
        else if (c < 0x800)
        {
            out[length++] = static_cast<unsigned char>(0xC0 | c >> 6);
            out[length++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
        else
        {
            if (c >= 0x10000)
                out[length++] = static_cast<unsigned char>(0xF0 | c >> 18);
            out[length++] = static_cast<unsigned char>((c >= 0x10000 ? 0x80 | (c >> 12 & 0x3F) : 0xE0 | c >> 12));
            out[length++] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
            out[length++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
    }
    out[length] = 0;
    return length;
}

// The data after '=': a quoted string, dword:, or hex(N): over lines that end in a backslash,
// decoded into the arena at *used.
static void ReadData(RegFileValue *value, char *rest, char **at, unsigned char *arena, size_t *used)
{
    if (*rest == '"')
    {
        rest++;
        value->data = ReadQuoted(&rest);
        value->type = 1;
        value->bytes = reinterpret_cast<const unsigned char *>(value->data);
        value->size = std::strlen(value->data);
        return;
    }
    unsigned char *out = arena + *used;
    if (const char *dword = AfterIgnoringCase(rest, "dword:"))
    {
        const unsigned long number = std::strtoul(dword, nullptr, 16);
        for (int i = 0; i < 4; i++)
            out[i] = static_cast<unsigned char>(number >> (8 * i));
        value->type = 4;
        value->size = 4;
    }
    else if (const char *hex = AfterIgnoringCase(rest, "hex"))
    {
        value->type = *hex == '(' ? static_cast<uint32_t>(std::strtoul(hex + 1, nullptr, 16)) : 3;
        const char *colon = std::strchr(hex, ':');
        for (char *line = colon != nullptr ? rest + (colon + 1 - rest) : nullptr; line != nullptr;)
        {
            value->size += DecodeHex(line, out + value->size);
            const size_t length = std::strlen(line);
            line = length > 0 && line[length - 1] == '\\' ? NextLine(at) : nullptr;
        }
    }
    else
        return;
    *used += value->size + 1;
    value->bytes = out;
    if (value->type == 1 || value->type == 2)
    {
        // As text: after the bytes, which are read as they are converted.
        unsigned char *text = arena + *used;
        value->size = Utf16AsUtf8(out, value->size, text);
        value->bytes = text;
        *used += value->size + 1;
    }
}

static void ReadValue(RegFile *file, char *line, char **at, size_t *used)
{
    RegFileValue value = {file->keyCount - 1, "", nullptr, 0, nullptr, 0, false};
    char *rest = line + 1;
    if (line[0] == '"')
        value.name = ReadQuoted(&rest);
    if (*rest != '=')
        return;
    ReadData(&value, rest + 1, at, file->arena, used);
    if (!Grow(reinterpret_cast<void **>(&file->values), file->valueCount, sizeof value))
    {
        file->failed = true;
        return;
    }
    file->values[file->valueCount++] = value;
}

void ReadRegFile(const char *text, RegFile *file)
{
    *file = RegFile{};
    const size_t length = std::strlen(text);
    file->copy = static_cast<char *>(std::malloc(length + 1));
    // Decoded data takes fewer bytes than its hex text, its UTF-8 form fewer than 3 for each 2.
    file->arena = static_cast<unsigned char *>(std::malloc(2 * length + 16));
    if (file->copy == nullptr || file->arena == nullptr)
    {
        file->failed = true;
        return;
    }
    std::memcpy(file->copy, text, length + 1);
    char *at = file->copy;
    size_t used = 0;
    for (char *line = NextLine(&at); line != nullptr && !file->failed; line = NextLine(&at))
    {
        const size_t size = std::strlen(line);
        if (line[0] == '[' && size > 2 && line[size - 1] == ']')
        {
            line[size - 1] = '\0';
            if (!Grow(reinterpret_cast<void **>(&file->keys), file->keyCount, sizeof(RegFileKey)))
            {
                file->failed = true;
                return;
            }
            file->keys[file->keyCount++] = RegFileKey{line + 1, ClassPath(line + 1), false};
        }
        else if ((line[0] == '@' || line[0] == '"') && file->keyCount > 0)
            ReadValue(file, line, &at, &used);
    }
}

void FreeRegFile(RegFile *file)
{
    std::free(file->copy);
    std::free(file->arena);
    std::free(file->keys);
    std::free(file->values);
    *file = RegFile{};
}
