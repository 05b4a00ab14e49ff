#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "about/about_layout.h"

static std::vector<unsigned char> ReadWholeFile(const char *path)
{
    std::vector<unsigned char> bytes;
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr)
        return bytes;
    unsigned char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
    return bytes;
}

static uint32_t Field(const std::vector<unsigned char> &bytes, size_t offset, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; i--)
        value = value << 8 | bytes[offset + i];
    return value;
}

class TitlePictureFile : public testing::Test
{
  protected:
    void SetUp() override
    {
        file = ReadWholeFile(TOLVANE_SOURCE_DIR "/resources/title.bmp");
        ASSERT_EQ(file.size(), 14u + 40u + 1024u + 280u * 280u);
    }
    std::vector<unsigned char> file;
};

TEST_F(TitlePictureFile, HeadersHoldTheExpectedFields)
{
    struct Expected
    {
        const char *name;
        size_t offset; // in the file, file header included
        int size;
        uint32_t value;
    };
    const Expected fields[] = {
        {"signature", 0, 2, 0x4D42},
        {"file size", 2, 4, 14 + 40 + 1024 + 280 * 280},
        {"pixel offset", 10, 4, 14 + 40 + 1024},
        {"header size", 14, 4, 40},
        {"width", 18, 4, 280},
        {"height", 22, 4, 280},
        {"planes", 26, 2, 1},
        {"bits per pixel", 28, 2, 8},
        {"compression", 30, 4, 0},
        {"image size", 34, 4, 0},
        {"horizontal resolution", 38, 4, 2834},
        {"vertical resolution", 42, 4, 2834},
        {"colours used", 46, 4, 0},
        {"colours important", 50, 4, 0},
    };
    for (const Expected &f : fields)
        EXPECT_EQ(Field(file, f.offset, f.size), f.value) << f.name;
}

TEST_F(TitlePictureFile, ColourTableHoldsTheStaticColoursAtBothEnds)
{
    struct StaticColour
    {
        int index;
        unsigned char red, green, blue;
    };
    const StaticColour colours[] = {
        {0, 0, 0, 0},         {1, 128, 0, 0},       {2, 0, 128, 0},       {3, 128, 128, 0},   {4, 0, 0, 128},
        {5, 128, 0, 128},     {6, 0, 128, 128},     {7, 192, 192, 192},   {8, 192, 220, 192}, {9, 166, 202, 240},
        {246, 255, 251, 240}, {247, 160, 160, 164}, {248, 128, 128, 128}, {249, 255, 0, 0},   {250, 0, 255, 0},
        {251, 255, 255, 0},   {252, 0, 0, 255},     {253, 255, 0, 255},   {254, 0, 255, 255}, {255, 255, 255, 255},
    };
    for (const StaticColour &c : colours)
    {
        size_t entry = 14 + 40 + 4 * static_cast<size_t>(c.index);
        EXPECT_EQ(file[entry], c.blue) << c.index;
        EXPECT_EQ(file[entry + 1], c.green) << c.index;
        EXPECT_EQ(file[entry + 2], c.red) << c.index;
        EXPECT_EQ(file[entry + 3], 0) << c.index;
    }
}

TEST_F(TitlePictureFile, ItsOwnColoursAreUsedAtTheTop)
{
    // The top rows are the artwork, not a blank: more than a few distinct colours, some of the picture's own.
    bool seen[256] = {};
    int distinct = 0, own = 0;
    const size_t pixels = 14 + 40 + 1024;
    for (size_t row = 200; row < 280; row++) // stored bottom-up: the top 80 rows
        for (size_t x = 0; x < 280; x++)
        {
            unsigned char index = file[pixels + row * 280 + x];
            if (!seen[index])
            {
                seen[index] = true;
                distinct++;
                own += index >= 10 && index <= 245;
            }
        }
    EXPECT_GT(distinct, 20);
    EXPECT_GT(own, 10);
}

TEST_F(TitlePictureFile, PaletteFromTheResourceBytes)
{
    // The resource is the file without its 14-byte file header.
    AboutPicture picture;
    ASSERT_TRUE(BuildAboutPalette(file.data() + 14, file.size() - 14, &picture));
    EXPECT_EQ(picture.width, 280);
    EXPECT_EQ(picture.height, 280);
    EXPECT_EQ(picture.version, 0x300);
    EXPECT_EQ(picture.count, 256);
    EXPECT_EQ(picture.entries[0].red, 0);
    EXPECT_EQ(picture.entries[0].green, 0);
    EXPECT_EQ(picture.entries[0].blue, 0);
    EXPECT_EQ(picture.entries[255].red, 255);
    EXPECT_EQ(picture.entries[255].green, 255);
    EXPECT_EQ(picture.entries[255].blue, 255);
    EXPECT_EQ(picture.entries[255].flags, 0);
    for (int i = 0; i < 256; i++)
    {
        size_t entry = 14 + 40 + 4 * static_cast<size_t>(i);
        EXPECT_EQ(picture.entries[i].red, file[entry + 2]) << i;
        EXPECT_EQ(picture.entries[i].green, file[entry + 1]) << i;
        EXPECT_EQ(picture.entries[i].blue, file[entry]) << i;
    }
}

TEST(ProgramIconFile, OneImageOf32By32In16Colours)
{
    std::vector<unsigned char> icon = ReadWholeFile(TOLVANE_SOURCE_DIR "/resources/tolvane.ico");
    const size_t imageBytes = 40 + 16 * 4 + 32 * 16 + 32 * 4;
    ASSERT_EQ(icon.size(), 6 + 16 + imageBytes);
    struct Expected
    {
        const char *name;
        size_t offset;
        int size;
        uint32_t value;
    };
    const Expected fields[] = {
        {"reserved", 0, 2, 0},        {"type icon", 2, 2, 1},     {"image count", 4, 2, 1},
        {"width", 6, 1, 32},          {"height", 7, 1, 32},       {"colour count", 8, 1, 16},
        {"planes", 10, 2, 1},         {"bits", 12, 2, 4},         {"image bytes", 14, 4, imageBytes},
        {"image offset", 18, 4, 22},  {"header size", 22, 4, 40}, {"header width", 26, 4, 32},
        {"header height", 30, 4, 64}, {"header bits", 36, 2, 4},  {"compression", 38, 4, 0},
    };
    for (const Expected &f : fields)
        EXPECT_EQ(Field(icon, f.offset, f.size), f.value) << f.name;
}
