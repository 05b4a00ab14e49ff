#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "about/about_layout.h"

// A packed picture: 40-byte header with the given measures and colours-used field, then a colour
// table of tableEntries entries where entry i is (blue i, green 255 - i, red i ^ 0x5A, reserved 0x77).
static std::vector<unsigned char> MakePicture(int32_t width, int32_t height, uint32_t coloursUsed, int tableEntries)
{
    std::vector<unsigned char> bytes(40 + 4 * tableEntries, 0);
    auto put32 = [&bytes](size_t offset, uint32_t value) {
        for (int i = 0; i < 4; i++)
            bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(width));
    put32(8, static_cast<uint32_t>(height));
    bytes[12] = 1;
    bytes[14] = 8;
    put32(32, coloursUsed);
    for (int i = 0; i < tableEntries; i++)
    {
        bytes[40 + 4 * i] = static_cast<unsigned char>(i);
        bytes[40 + 4 * i + 1] = static_cast<unsigned char>(255 - i);
        bytes[40 + 4 * i + 2] = static_cast<unsigned char>(i ^ 0x5A);
        bytes[40 + 4 * i + 3] = 0x77;
    }
    return bytes;
}

TEST(AboutPalette, ColourCountAndEntries)
{
    struct Case
    {
        const char *name;
        uint32_t coloursUsed;
        int tableEntries;
        int expectedCount;
    };
    const Case cases[] = {
        {"colours used 0 means 256", 0, 256, 256},    {"colours used 16", 16, 256, 16},
        {"colours used 16, table of 16", 16, 16, 16}, {"colours used 1", 1, 1, 1},
        {"colours used 256", 256, 256, 256},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> bytes = MakePicture(280, 280, c.coloursUsed, c.tableEntries);
        AboutPicture picture;
        std::memset(&picture, 0xEE, sizeof picture);
        ASSERT_TRUE(BuildAboutPalette(bytes.data(), bytes.size(), &picture));
        EXPECT_EQ(picture.version, 0x300);
        EXPECT_EQ(picture.count, c.expectedCount);
        for (int i = 0; i < c.expectedCount; i++)
        {
            EXPECT_EQ(picture.entries[i].red, (i ^ 0x5A) & 0xFF) << i;
            EXPECT_EQ(picture.entries[i].green, 255 - i) << i;
            EXPECT_EQ(picture.entries[i].blue, i) << i;
            EXPECT_EQ(picture.entries[i].flags, 0) << i;
        }
    }
}

TEST(AboutPalette, EntryBytesAreBlueGreenRedReserved)
{
    std::vector<unsigned char> bytes = MakePicture(280, 280, 1, 1);
    const unsigned char entry[] = {0x11, 0x22, 0x33, 0x44};
    std::memcpy(&bytes[40], entry, 4);
    AboutPicture picture;
    ASSERT_TRUE(BuildAboutPalette(bytes.data(), bytes.size(), &picture));
    ASSERT_EQ(picture.count, 1);
    EXPECT_EQ(picture.entries[0].red, 0x33);
    EXPECT_EQ(picture.entries[0].green, 0x22);
    EXPECT_EQ(picture.entries[0].blue, 0x11);
    EXPECT_EQ(picture.entries[0].flags, 0);
}

TEST(AboutPalette, WidthAndHeightAreSigned)
{
    struct Case
    {
        int32_t width;
        int32_t height;
    };
    const Case cases[] = {{280, 280}, {16, -9}, {1, 1}, {640, -480}};
    for (const Case &c : cases)
    {
        std::vector<unsigned char> bytes = MakePicture(c.width, c.height, 2, 2);
        AboutPicture picture;
        ASSERT_TRUE(BuildAboutPalette(bytes.data(), bytes.size(), &picture));
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
    }
}

TEST(AboutPalette, RefusesBytesTooFewOrCountTooLarge)
{
    struct Case
    {
        const char *name;
        uint32_t coloursUsed;
        int tableEntries;
        size_t keep; // bytes handed over, at most the picture's own
    };
    const Case cases[] = {
        {"no bytes", 0, 0, 0},
        {"header cut short", 16, 16, 39},
        {"header only, 256 colours", 0, 0, 40},
        {"table one byte short of 256", 0, 256, 40 + 1023},
        {"table one byte short of 16", 16, 16, 40 + 63},
        {"colours used 257", 257, 257, 40 + 4 * 257},
        {"colours used huge", 0xFFFFFFFFu, 256, 40 + 1024},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> full = MakePicture(280, 280, c.coloursUsed, c.tableEntries);
        // An exact-size heap copy, so that a read past its end shows under AddressSanitizer.
        unsigned char *bytes = static_cast<unsigned char *>(std::malloc(c.keep == 0 ? 1 : c.keep));
        ASSERT_NE(bytes, nullptr);
        std::memcpy(bytes, full.data(), c.keep);
        AboutPicture picture;
        picture.count = 0xABCD;
        EXPECT_FALSE(BuildAboutPalette(bytes, c.keep, &picture));
        EXPECT_EQ(picture.count, 0xABCD);
        std::free(bytes);
    }
    AboutPicture picture;
    EXPECT_FALSE(BuildAboutPalette(nullptr, 2000, &picture));
}

TEST(AboutPalette, ReadsNothingBeyondAnExactTable)
{
    std::vector<unsigned char> full = MakePicture(32, 32, 16, 16);
    unsigned char *bytes = static_cast<unsigned char *>(std::malloc(full.size()));
    ASSERT_NE(bytes, nullptr);
    std::memcpy(bytes, full.data(), full.size());
    AboutPicture picture;
    EXPECT_TRUE(BuildAboutPalette(bytes, full.size(), &picture));
    EXPECT_EQ(picture.count, 16);
    EXPECT_EQ(picture.entries[15].blue, 15);
    std::free(bytes);
}

TEST(AboutResizeRule, WidensOnlyWhenNarrowerThanThePicture)
{
    struct Case
    {
        int32_t clientWidth, clientHeight, pictureWidth;
        bool resize;
        int32_t width, height;
    };
    const Case cases[] = {
        {280, 392, 280, false, 0, 0},    {303, 392, 280, false, 0, 0}, {279, 392, 280, true, 280, 462},
        {200, 300, 280, true, 280, 370}, {0, 0, 280, true, 280, 70},   {0, 0, 0, false, 0, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.clientWidth << "x" << c.clientHeight << ", picture " << c.pictureWidth);
        AboutResize r = ComputeAboutResize(c.clientWidth, c.clientHeight, c.pictureWidth);
        EXPECT_EQ(r.resize, c.resize);
        if (c.resize)
        {
            EXPECT_EQ(r.width, c.width);
            EXPECT_EQ(r.height, c.height);
        }
    }
}

static void ExpectRect(const AboutRect &r, int32_t x, int32_t y, int32_t w, int32_t h)
{
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
}

TEST(AboutPlacementRule, PlacesTheControlsBelowThePicture)
{
    struct Case
    {
        const char *name;
        AboutMeasures m; // W, H, fw, fh, ew, eh, D, c, bw, bh, ch1
        AboutRect frame, text, button;
    };
    const Case cases[] = {
        {"worked placement",
         {280, 280, 242, 122, 211, 92, 200, 18, 62, 23, 436},
         {19, 285, 242, 122},
         {34, 289, 211, 92},
         {109, 411, 62, 23}},
        // Differences of -7 centre at -3 (toward zero), never -4.
        {"controls wider than the picture",
         {280, 100, 287, 51, 287, 40, 150, 20, 287, 24, 300},
         {-3, 105, 287, 51},
         {-3, 175, 287, 40},
         {-3, 274, 287, 24}},
        {"odd differences", {281, 10, 0, 9, 280, 0, 0, 0, 1, 0, 0}, {140, 15, 0, 9}, {0, 4, 280, 0}, {140, -2, 1, 0}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        AboutPlacement p = PlaceAboutControls(c.m);
        ExpectRect(p.frame, c.frame.x, c.frame.y, c.frame.width, c.frame.height);
        ExpectRect(p.text, c.text.x, c.text.y, c.text.width, c.text.height);
        ExpectRect(p.button, c.button.x, c.button.y, c.button.width, c.button.height);
    }
}

TEST(AboutPictureLeftRule, CentresOnTheClientWidth)
{
    struct Case
    {
        int32_t clientWidth, pictureWidth, left;
    };
    const Case cases[] = {{280, 280, 0}, {303, 280, 11}, {273, 280, -3}, {264, 280, -8}, {281, 280, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(AboutPictureLeft(c.clientWidth, c.pictureWidth), c.left) << c.clientWidth;
}

TEST(AboutHelpText, CopiesExactlyTheBytesAndAddsAZero)
{
    struct Case
    {
        const char *name;
        std::vector<unsigned char> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"one line", {'O', 'K', '\r', '\n'}},
        {"no line end", {'a', ' ', ' '}},
        {"high bytes", {0xE9, 0x80, 0xFF, '\r', '\n', '\r', '\n'}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        // An exact-size source, so reading one byte too many shows under AddressSanitizer.
        unsigned char *source = static_cast<unsigned char *>(std::malloc(c.bytes.empty() ? 1 : c.bytes.size()));
        ASSERT_NE(source, nullptr);
        if (!c.bytes.empty())
            std::memcpy(source, c.bytes.data(), c.bytes.size());
        std::vector<unsigned char> before(source, source + c.bytes.size());
        char *text = LoadHelpText(c.bytes.empty() ? nullptr : source, c.bytes.size());
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(text, text + c.bytes.size()), c.bytes);
        EXPECT_EQ(text[c.bytes.size()], '\0');
        EXPECT_EQ(std::vector<unsigned char>(source, source + c.bytes.size()), before);
        std::free(text);
        std::free(source);
    }
    EXPECT_EQ(LoadHelpText(nullptr, 5), nullptr);
}
