#pragma once
// What a file's first bytes say it is: a PE image of some machine (a component, a program) or a
// type library. Window-free.
#include <cstddef>
#include <cstdint>

constexpr uint16_t MACHINE_I386 = 0x014C;
constexpr uint16_t MACHINE_AMD64 = 0x8664;

constexpr size_t IMAGE_HEADER_READ_SIZE = 4096; // what is read of a file to find its header

struct ImageHeader
{
    uint16_t machine;
    bool program; // an executable image that is not a DLL
};

// The PE header of a file from its first bytes; false when they are not a valid PE image.
bool ReadImageHeader(const unsigned char *bytes, size_t count, ImageHeader *header);

// True when the first bytes are a type library's: "MSFT", or "SLTG" for the older format.
bool IsTypeLibrary(const unsigned char *bytes, size_t count);
