// Components of the other bitness: what a file's header says, the twin's command line and the
// plain words for a component that cannot be handed on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/twin/twin.h"

namespace
{

// The first kilobyte of real images, as the MinGW-w64 builds of the test component and the
// program write them.
std::vector<unsigned char> Header(const char *name)
{
    std::vector<unsigned char> bytes(1024);
    FILE *file = std::fopen((std::string(TOLVANE_SOURCE_DIR "/tests/unit/data/") + name).c_str(), "rb");
    if (file == nullptr)
        return {};
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

TEST(ImageHeader, RealHeadersOfBothMachines)
{
    const struct
    {
        const char *file;
        uint16_t machine;
        bool program;
    } cases[] = {
        {"component_x86.bin", MACHINE_I386, false},
        {"component_x64.bin", MACHINE_AMD64, false},
        {"program_x86.bin", MACHINE_I386, true},
        {"program_x64.bin", MACHINE_AMD64, true},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.file);
        std::vector<unsigned char> bytes = Header(c.file);
        ASSERT_EQ(bytes.size(), 1024u);
        ImageHeader header = {};
        ASSERT_TRUE(ReadImageHeader(bytes.data(), bytes.size(), &header));
        EXPECT_EQ(header.machine, c.machine);
        EXPECT_EQ(header.program, c.program);
    }
}

TEST(ImageHeader, TruncatedOrCorruptHeadersAreNoImage)
{
    const std::vector<unsigned char> real = Header("component_x64.bin");
    ASSERT_EQ(real.size(), 1024u);
    const size_t peOffset = real[0x3C] | real[0x3D] << 8;
    auto with = [&](size_t at, unsigned char value) {
        std::vector<unsigned char> bytes = real;
        bytes[at] = value;
        return bytes;
    };
    const struct
    {
        const char *what;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"empty", {}},
        {"text", std::vector<unsigned char>(real.size(), 'M')},
        {"cut before the signature", std::vector<unsigned char>(real.begin(), real.begin() + peOffset)},
        {"cut inside the file header", std::vector<unsigned char>(real.begin(), real.begin() + peOffset + 20)},
        {"no MZ", with(0, 'X')},
        {"signature broken", with(peOffset + 1, 'X')},
        {"signature beyond the bytes read", with(0x3D, 0x7F)},
        {"no optional header", with(peOffset + 4 + 16, 0)},
        {"optional header of no known kind", with(peOffset + 4 + 20, 0x07)},
    };
    for (const auto &c : cases)
    {
        ImageHeader header = {};
        EXPECT_FALSE(ReadImageHeader(c.bytes.data(), c.bytes.size(), &header)) << c.what;
    }
}

TEST(OtherMachine, PlainWordsNameTheTwinOrTheMachine)
{
    const struct
    {
        uint16_t machine;
        const char *text;
    } cases[] = {
        {MACHINE_AMD64, "This is a 64-bit component; tolvane64.exe beside this program registers it."},
        {MACHINE_I386, "This is a 32-bit component; tolvane.exe beside this program registers it."},
        {0xAA64, "This component is built for ARM64 Windows, which TolVane cannot load."},
        {0x01C4, "This component is built for ARM Windows, which TolVane cannot load."},
        {0x0200, "This component is built for Itanium (IA-64) Windows, which TolVane cannot load."},
        {0x0166, "This component is built for machine type 0x0166, which TolVane cannot load."},
    };
    for (const auto &c : cases)
    {
        char text[256];
        ComposeOtherMachineText(c.machine, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

} // namespace
