#pragma once
// Small PE images built in memory for the tests that read them without loading them (the
// diagnosis, folders and patterns): imports, delay-load imports, exports, a CLR header.
#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace
{

constexpr uint16_t X86 = 0x14C, X64 = 0x8664;

struct Imports
{
    std::string dll;
    std::vector<std::string> functions; // "#7" imports ordinal 7
};

void Put32(std::vector<unsigned char> &bytes, size_t at, uint32_t value)
{
    WriteLittle32(&bytes[at], value);
}

// A PE image: headers at 0, one section of everything at RVA 0x1000, file offset 0x200. Exports
// are given in sorted order, as linkers write them, and take ordinals from 1.
std::vector<unsigned char> Image(std::vector<Imports> imports, std::vector<std::string> exports = {},
                                 uint16_t machine = X86, bool dll = true, bool clr = false,
                                 std::vector<Imports> delayed = {})
{
    const bool plus = machine == X64;
    const size_t step = plus ? 8 : 4, optional = 0x58, optionalSize = plus ? 0xF0 : 0xE0;
    std::vector<unsigned char> s;
    uint32_t directories[16] = {};
    auto rva = [&] { return static_cast<uint32_t>(0x1000 + s.size()); };
    auto text = [&](const std::string &t) {
        const uint32_t at = rva();
        s.insert(s.end(), t.c_str(), t.c_str() + t.size() + 1);
        return at;
    };
    auto descriptors = [&](const std::vector<Imports> &list, size_t width, size_t nameAt, size_t thunkAt) {
        const uint32_t start = rva();
        s.resize(s.size() + width * (list.size() + 1));
        for (size_t i = 0; i < list.size(); i++)
        {
            std::vector<uint64_t> thunks;
            for (const std::string &f : list[i].functions)
                thunks.push_back(f[0] == '#' ? 1ull << (8 * step - 1) | std::stoul(f.substr(1)) : text("\1\1" + f));
            const uint32_t table = rva();
            for (uint64_t thunk : thunks)
                for (size_t b = 0; b < step; b++)
                    s.push_back(static_cast<unsigned char>(thunk >> 8 * b));
            s.resize(s.size() + step);
            const size_t at = start - 0x1000 + width * i;
            Put32(s, at + nameAt, text(list[i].dll));
            Put32(s, at + thunkAt, table);
            Put32(s, at + 16, table);
        }
        return start;
    };
    directories[1] = imports.empty() ? 0 : descriptors(imports, 20, 12, 0);
    directories[13] = delayed.empty() ? 0 : descriptors(delayed, 32, 4, 12);
    if (!exports.empty())
    {
        const uint32_t directory = rva(), count = static_cast<uint32_t>(exports.size());
        s.resize(s.size() + 40 + 10 * count, 0x10);
        const size_t at = directory - 0x1000;
        for (uint16_t i = 0; i < count; i++)
        {
            Put32(s, at + 40 + 4 * count + 4 * i, text(exports[i]));
            WriteLittle16(&s[at + 40 + 8 * count + 2 * i], i);
        }
        const uint32_t fields[] = {
            1, count, count, directory + 40, directory + 40 + 4 * count, directory + 40 + 8 * count};
        for (size_t i = 0; i < 6; i++)
            Put32(s, at + 16 + 4 * i, fields[i]);
        directories[0] = directory;
    }
    directories[14] = clr ? 0x1000 : 0;
    std::vector<unsigned char> b(0x200);
    b[0] = 'M', b[1] = 'Z', b[0x40] = 'P', b[0x41] = 'E', b[0x3C] = 0x40;
    WriteLittle16(&b[0x44], machine);
    WriteLittle16(&b[0x46], 1);
    WriteLittle16(&b[0x54], static_cast<uint16_t>(optionalSize));
    WriteLittle16(&b[0x56], dll ? 0x2102 : 0x0102);
    WriteLittle16(&b[optional], plus ? 0x20B : 0x10B);
    Put32(b, optional + 60, 0x200);
    Put32(b, optional + optionalSize - 132, 16);
    for (size_t i = 0; i < 16; i++)
        Put32(b, optional + optionalSize - 128 + 8 * i, directories[i]),
            Put32(b, optional + optionalSize - 124 + 8 * i, 72);
    const uint32_t section[] = {static_cast<uint32_t>(s.size()), 0x1000, static_cast<uint32_t>(s.size()), 0x200};
    for (size_t i = 0; i < 4; i++)
        Put32(b, optional + optionalSize + 8 + 4 * i, section[i]);
    b.insert(b.end(), s.begin(), s.end());
    return b;
}

} // namespace
