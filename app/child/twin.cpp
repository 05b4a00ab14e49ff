#include "app/child/twin.h"

#include <cstdio>
#include <cstring>

#include "base/bytes.h"

bool ReadImageHeader(const unsigned char *bytes, size_t count, ImageHeader *header)
{
    // The DOS header's "MZ" and, at 0x3C, where the "PE\0\0" signature and the file header are.
    if (count < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        return false;
    const uint32_t peOffset = ReadLittle32(bytes + 0x3C);
    const size_t fileHeaderSize = 20;
    if (peOffset > count || count - peOffset < 4 + fileHeaderSize + 2)
        return false;
    const unsigned char *pe = bytes + peOffset;
    if (std::memcmp(pe, "PE\0\0", 4) != 0)
        return false;
    const unsigned char *fileHeader = pe + 4;
    const uint16_t optionalSize = ReadLittle16(fileHeader + 16);
    const uint16_t characteristics = ReadLittle16(fileHeader + 18);
    const uint16_t magic = ReadLittle16(fileHeader + fileHeaderSize);
    // An image has an optional header, PE32 (0x10B) or PE32+ (0x20B).
    if (optionalSize == 0 || (magic != 0x10B && magic != 0x20B))
        return false;
    header->machine = ReadLittle16(fileHeader);
    header->program = (characteristics & 0x0002) != 0 && (characteristics & 0x2000) == 0;
    return true;
}

bool IsTypeLibrary(const unsigned char *bytes, size_t count)
{
    return count >= 4 && (std::memcmp(bytes, "MSFT", 4) == 0 || std::memcmp(bytes, "SLTG", 4) == 0);
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
