#include "base/pe_file.h"

#include <cstring>

#include "base/bytes.h"

constexpr size_t SECTION_HEADER_SIZE = 40;
constexpr size_t IMPORT_DESCRIPTOR_SIZE = 20;
constexpr size_t EXPORT_DIRECTORY_SIZE = 40;

bool OpenPeImage(const unsigned char *bytes, size_t size, PeImage *image)
{
    if (size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        return false;
    const size_t pe = ReadLittle32(bytes + 0x3C);
    const size_t fileHeader = pe + 4;
    if (pe > size || size - pe < 4 + 20 || std::memcmp(bytes + pe, "PE\0\0", 4) != 0)
        return false;
    const size_t optional = fileHeader + 20;
    const uint16_t optionalSize = ReadLittle16(bytes + fileHeader + 16);
    if (size - optional < optionalSize || optionalSize < 2)
        return false;
    const uint16_t magic = ReadLittle16(bytes + optional);
    if (magic != 0x10B && magic != 0x20B)
        return false;
    const size_t countAt = magic == 0x20B ? 108 : 92; // NumberOfRvaAndSizes, the directories follow it
    if (optionalSize < countAt + 4)
        return false;
    *image = PeImage{};
    image->bytes = bytes;
    image->size = size;
    image->machine = ReadLittle16(bytes + fileHeader);
    image->dll = (ReadLittle16(bytes + fileHeader + 18) & 0x2000) != 0;
    image->plus = magic == 0x20B;
    image->headersSize = ReadLittle32(bytes + optional + 60);
    const uint32_t directoryCount = ReadLittle32(bytes + optional + countAt);
    uint32_t directories[15][2] = {};
    for (size_t i = 0; i < 15 && i < directoryCount && countAt + 4 + 8 * (i + 1) <= optionalSize; i++)
    {
        directories[i][0] = ReadLittle32(bytes + optional + countAt + 4 + 8 * i);
        directories[i][1] = ReadLittle32(bytes + optional + countAt + 8 + 8 * i);
    }
    image->exportRva = directories[0][0];
    image->importRva = directories[1][0];
    image->clr = directories[14][0] != 0 && directories[14][1] != 0;
    image->sections = static_cast<uint32_t>(optional + optionalSize);
    const size_t fitting = (size - image->sections) / SECTION_HEADER_SIZE;
    const uint16_t declared = ReadLittle16(bytes + fileHeader + 2);
    image->sectionCount = static_cast<uint16_t>(declared < fitting ? declared : fitting);
    return true;
}

// The file offset of an RVA, through the section table; false when it lies outside the file.
static bool RvaToOffset(const PeImage &image, uint32_t rva, size_t *offset)
{
    for (uint16_t i = 0; i < image.sectionCount; i++)
    {
        const unsigned char *section = image.bytes + image.sections + SECTION_HEADER_SIZE * i;
        const uint32_t virtualSize = ReadLittle32(section + 8);
        const uint32_t address = ReadLittle32(section + 12);
        const uint32_t rawSize = ReadLittle32(section + 16);
        const uint64_t rawStart = ReadLittle32(section + 20);
        const uint32_t span = virtualSize != 0 ? virtualSize : rawSize;
        if (rva < address || rva - address >= span)
            continue;
        // The part of a section beyond its raw data is zeros in memory, not bytes of the file.
        if (rva - address >= rawSize || rawStart + (rva - address) >= image.size)
            return false;
        *offset = static_cast<size_t>(rawStart + (rva - address));
        return true;
    }
    if (rva >= image.headersSize || rva >= image.size)
        return false;
    *offset = rva;
    return true;
}

// The count bytes at base + index * step, when the file holds them all.
static const unsigned char *At(const PeImage &image, uint32_t base, uint64_t index, uint64_t step, size_t count)
{
    const uint64_t rva = base + index * step;
    size_t offset = 0;
    if (rva > 0xFFFFFFFFu || !RvaToOffset(image, static_cast<uint32_t>(rva), &offset) || image.size - offset < count)
        return nullptr;
    return image.bytes + offset;
}

// A terminated name of at most PE_NAME_SIZE - 1 bytes at rva into out; false when it is empty,
// longer, or runs off the file.
static bool ReadName(const PeImage &image, uint32_t rva, char *out)
{
    size_t offset = 0;
    if (!RvaToOffset(image, rva, &offset))
        return false;
    for (size_t i = 0; i < PE_NAME_SIZE && offset + i < image.size; i++)
    {
        out[i] = static_cast<char>(image.bytes[offset + i]);
        if (out[i] == '\0')
            return i > 0;
    }
    out[0] = '\0';
    return false;
}

static const unsigned char *ImportDescriptor(const PeImage &image, size_t index)
{
    if (image.importRva == 0 || index >= PE_MAX_IMPORTS)
        return nullptr;
    const unsigned char *descriptor = At(image, image.importRva, index, IMPORT_DESCRIPTOR_SIZE, IMPORT_DESCRIPTOR_SIZE);
    // The table ends with a descriptor of zeros; one without a name or thunks ends it as well.
    if (descriptor == nullptr || ReadLittle32(descriptor + 12) == 0 || ReadLittle32(descriptor + 16) == 0)
        return nullptr;
    return descriptor;
}

bool ImportedDll(const PeImage &image, size_t index, char *name)
{
    const unsigned char *descriptor = ImportDescriptor(image, index);
    return descriptor != nullptr && ReadName(image, ReadLittle32(descriptor + 12), name);
}

bool ImportedFunction(const PeImage &image, size_t dll, size_t index, PeImport *import)
{
    const unsigned char *descriptor = ImportDescriptor(image, dll);
    if (descriptor == nullptr || index >= PE_MAX_IMPORTS)
        return false;
    // The lookup table when there is one; else the address table, still unbound in the file.
    const uint32_t lookup = ReadLittle32(descriptor) != 0 ? ReadLittle32(descriptor) : ReadLittle32(descriptor + 16);
    const size_t step = image.plus ? 8 : 4;
    const unsigned char *thunk = At(image, lookup, index, step, step);
    if (thunk == nullptr)
        return false;
    const uint32_t low = ReadLittle32(thunk);
    const uint32_t high = image.plus ? ReadLittle32(thunk + 4) : 0;
    if (low == 0 && high == 0)
        return false;
    import->byOrdinal = image.plus ? (high & 0x80000000u) != 0 : (low & 0x80000000u) != 0;
    import->ordinal = static_cast<uint16_t>(low);
    import->name[0] = '\0';
    // A name entry points at a 2-byte hint, then the name.
    return import->byOrdinal || ReadName(image, (low & 0x7FFFFFFFu) + 2, import->name);
}

bool ExportsNameOf(const PeImage &image, const char *name)
{
    const unsigned char *directory =
        image.exportRva != 0 ? At(image, image.exportRva, 0, 0, EXPORT_DIRECTORY_SIZE) : nullptr;
    if (directory == nullptr)
        return false;
    const uint32_t names = ReadLittle32(directory + 32);
    uint32_t low = 0;
    uint32_t high = ReadLittle32(directory + 24);
    while (low < high)
    {
        const uint32_t middle = low + (high - low) / 2;
        const unsigned char *entry = At(image, names, middle, 4, 4);
        char candidate[PE_NAME_SIZE];
        if (entry == nullptr || !ReadName(image, ReadLittle32(entry), candidate))
            return false;
        const int order = std::strcmp(name, candidate);
        if (order == 0)
            return true;
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return false;
}

bool ExportsOrdinal(const PeImage &image, uint16_t ordinal)
{
    const unsigned char *directory =
        image.exportRva != 0 ? At(image, image.exportRva, 0, 0, EXPORT_DIRECTORY_SIZE) : nullptr;
    if (directory == nullptr)
        return false;
    const uint32_t base = ReadLittle32(directory + 16);
    if (ordinal < base || ordinal - base >= ReadLittle32(directory + 20))
        return false;
    const unsigned char *address = At(image, ReadLittle32(directory + 28), ordinal - base, 4, 4);
    return address != nullptr && ReadLittle32(address) != 0;
}

bool ExportsName(const unsigned char *bytes, size_t size, const char *name)
{
    PeImage image;
    return OpenPeImage(bytes, size, &image) && ExportsNameOf(image, name);
}
