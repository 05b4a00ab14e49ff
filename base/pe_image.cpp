#include "base/pe_image.h"

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
