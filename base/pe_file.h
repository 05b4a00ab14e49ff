#pragma once
// What the diagnosis and the folder filter need of a PE image held in memory: its machine, whether it is a DLL or a
// .NET assembly, the functions it imports from each DLL, and what its export table holds. Window-free; safe on any
// bytes: every read is checked against the image's size, names and counts are bounded.
#include <cstddef>
#include <cstdint>

constexpr size_t PE_NAME_SIZE = 260;              // an imported DLL's or function's name, with its terminator
constexpr size_t PE_MAX_IMPORTS = 4096;           // DLLs read of one import table, and functions of each
constexpr size_t PE_MAX_FILE = 64u * 1024 * 1024; // bytes read of one file: its headers are at its start

struct PeImage
{
    const unsigned char *bytes;
    size_t size;
    uint16_t machine;
    bool dll;          // IMAGE_FILE_DLL
    bool plus;         // PE32+: 64-bit import thunks
    bool clr;          // has a COM descriptor (.NET) directory
    uint32_t sections; // file offset of the section table
    uint16_t sectionCount;
    uint32_t headersSize; // SizeOfHeaders: RVAs below it are file offsets
    uint32_t importRva;   // data directory 1, 0 when absent
    uint32_t exportRva;   // data directory 0, 0 when absent
};

// Reads the headers of an image of size bytes; false when they are not a whole PE32 or PE32+ header.
bool OpenPeImage(const unsigned char *bytes, size_t size, PeImage *image);

// The name of the index-th DLL of the import table (not the delay-load one) into name
// (PE_NAME_SIZE bytes); false past the table's end, at PE_MAX_IMPORTS, or on a name that cannot be read.
bool ImportedDll(const PeImage &image, size_t index, char *name);

struct PeImport
{
    bool byOrdinal;
    uint16_t ordinal;
    char name[PE_NAME_SIZE];
};

// The index-th function imported from the dll-th DLL; false past its list's end, at
// PE_MAX_IMPORTS, or on an entry that cannot be read.
bool ImportedFunction(const PeImage &image, size_t dll, size_t index, PeImport *import);

// Whether the export table has name, searched as the loader does (its names are sorted).
bool ExportsNameOf(const PeImage &image, const char *name);

// Whether the export table has a function of that ordinal.
bool ExportsOrdinal(const PeImage &image, uint16_t ordinal);

// Whether the file image of size bytes exports name; false when it is no PE image.
bool ExportsName(const unsigned char *bytes, size_t size, const char *name);
