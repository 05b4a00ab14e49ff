#include "app/handoff.h"

#include <cstdio>
#include <cstring>

static uint16_t Read16(const unsigned char *at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

static uint32_t Read32(const unsigned char *at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

bool ReadImageHeader(const unsigned char *bytes, size_t count, ImageHeader *header)
{
    // The DOS header's "MZ" and, at 0x3C, where the "PE\0\0" signature and the file header are.
    if (count < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        return false;
    const uint32_t peOffset = Read32(bytes + 0x3C);
    const size_t fileHeaderSize = 20;
    if (peOffset > count || count - peOffset < 4 + fileHeaderSize + 2)
        return false;
    const unsigned char *pe = bytes + peOffset;
    if (std::memcmp(pe, "PE\0\0", 4) != 0)
        return false;
    const unsigned char *fileHeader = pe + 4;
    const uint16_t optionalSize = Read16(fileHeader + 16);
    const uint16_t characteristics = Read16(fileHeader + 18);
    const uint16_t magic = Read16(fileHeader + fileHeaderSize);
    // An image has an optional header, PE32 (0x10B) or PE32+ (0x20B).
    if (optionalSize == 0 || (magic != 0x10B && magic != 0x20B))
        return false;
    header->machine = Read16(fileHeader);
    header->program = (characteristics & 0x0002) != 0 && (characteristics & 0x2000) == 0;
    return true;
}

const char *TwinProgramName(uint16_t machine)
{
    switch (machine)
    {
    case MACHINE_I386:
        return "tolvane.exe";
    case MACHINE_AMD64:
        return "tolvane64.exe";
    default:
        return nullptr;
    }
}

// Appends text to out at *length, keeping room for the terminator; false when it does not fit.
static bool Append(char *out, size_t size, size_t *length, const char *text, size_t count)
{
    if (count >= size - *length)
        return false;
    std::memcpy(out + *length, text, count);
    *length += count;
    out[*length] = '\0';
    return true;
}

// One argument in quotation marks: backslashes are doubled where they precede a quotation mark
// (or the closing one), and a quotation mark gets a backslash.
static bool AppendQuoted(char *out, size_t size, size_t *length, const char *argument)
{
    if (!Append(out, size, length, "\"", 1))
        return false;
    size_t backslashes = 0;
    for (const char *at = argument;; at++)
    {
        if (*at == '\\')
        {
            backslashes++;
            continue;
        }
        const bool quoteFollows = *at == '"' || *at == '\0';
        for (size_t i = 0; i < (quoteFollows ? backslashes * 2 : backslashes); i++)
            if (!Append(out, size, length, "\\", 1))
                return false;
        backslashes = 0;
        if (*at == '\0')
            break;
        if (*at == '"' && !Append(out, size, length, "\\", 1))
            return false;
        if (!Append(out, size, length, at, 1))
            return false;
    }
    return Append(out, size, length, "\"", 1);
}

bool BuildTwinCommandLine(const char *twinPath, bool unregister, const char *componentPath, char *out, size_t size)
{
    if (size == 0)
        return false;
    size_t length = 0;
    out[0] = '\0';
    const char *options = unregister ? " /S /U " : " /S ";
    return AppendQuoted(out, size, &length, twinPath) && Append(out, size, &length, options, std::strlen(options)) &&
           AppendQuoted(out, size, &length, componentPath);
}

void ComposeOtherMachineText(uint16_t machine, char *text, size_t size)
{
    switch (machine)
    {
    case MACHINE_AMD64:
        std::snprintf(text, size, "This is a 64-bit component; tolvane64.exe beside this program registers it.");
        return;
    case MACHINE_I386:
        std::snprintf(text, size, "This is a 32-bit component; tolvane.exe beside this program registers it.");
        return;
    case 0xAA64:
        std::snprintf(text, size, "This component is built for ARM64 Windows, which TolVane cannot load.");
        return;
    case 0x01C0:
    case 0x01C2:
    case 0x01C4:
        std::snprintf(text, size, "This component is built for ARM Windows, which TolVane cannot load.");
        return;
    case 0x0200:
        std::snprintf(text, size, "This component is built for Itanium (IA-64) Windows, which TolVane cannot load.");
        return;
    default:
        std::snprintf(text, size, "This component is built for machine type 0x%04X, which TolVane cannot load.",
                      static_cast<unsigned>(machine));
        return;
    }
}
