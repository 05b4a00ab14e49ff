#pragma once
// Components of the other bitness: a 32-bit program cannot load a 64-bit component, nor the
// other way round. Such a component is handed to the program's twin of the other bitness
// beside it, tolvane.exe (32-bit) or tolvane64.exe (64-bit). Window-free: what it needs of a
// file's header is read here, from bytes handed in.
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

// The twin's file name for a component of this machine ("tolvane.exe" for i386, "tolvane64.exe"
// for AMD64), or null for a machine that neither program loads.
const char *TwinProgramName(uint16_t machine);

// The row text when a component of another machine cannot be handed on: it names the program
// that registers it, or the machine that neither program loads.
void ComposeOtherMachineText(uint16_t machine, char *text, size_t size);
