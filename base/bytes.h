#pragma once
// Little-endian integers in byte buffers: file headers, resources and the child run's records.
// Window-free.
#include <cstdint>

inline uint16_t ReadLittle16(const unsigned char *at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t ReadLittle32(const unsigned char *at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

inline void WriteLittle16(unsigned char *at, uint16_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

inline void WriteLittle32(unsigned char *at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}
