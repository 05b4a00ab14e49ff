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
