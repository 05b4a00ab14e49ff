// The .reg text of a recorded registration: keys, and every value type as regedit writes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/registry/reg_file.h"

namespace
{

std::vector<unsigned char> Utf16(const std::u16string &text)
{
    std::vector<unsigned char> bytes;
    for (char16_t c : text)
    {
        bytes.push_back(static_cast<unsigned char>(c));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

TEST(RegFile, EveryValueTypeIsWrittenExactlyAndReadBack)
{
    const std::vector<unsigned char> path = Utf16(std::u16string(u"C:\\x\\\"grid\".ocx") + u'\0');
    const std::vector<unsigned char> twoLines = Utf16(std::u16string(u"a\r\nb") + u'\0');
    const std::vector<unsigned char> expand = Utf16(std::u16string(u"%SystemRoot%") + u'\0');
    const std::vector<unsigned char> multi = Utf16(std::u16string(u"a") + u'\0' + u"b" + u'\0' + u'\0');
    const struct
    {
        const char *name;
        uint32_t type;
        std::vector<unsigned char> bytes;
        const char *utf8;
        const char *line;
    } cases[] = {
        {nullptr, 1, path, "C:\\x\\\"grid\".ocx", "@=\"C:\\\\x\\\\\\\"grid\\\".ocx\"\r\n"},
        {"ThreadingModel", 1, Utf16(std::u16string(u"Apartment") + u'\0'), "Apartment",
         "\"ThreadingModel\"=\"Apartment\"\r\n"},
        {"", 1, Utf16(std::u16string(1, u'\0')), "", "@=\"\"\r\n"},
        {"a\"b", 4, {0x78, 0x56, 0x34, 0x12}, nullptr, "\"a\\\"b\"=dword:12345678\r\n"},
        {"Flags", 3, {0x00, 0xff, 0x10}, nullptr, "\"Flags\"=hex:00,ff,10\r\n"},
        // Long hex data goes on continuation lines of at most 80 characters.
        {"Path", 2, expand, nullptr,
         "\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\\r\n"
         "  00,25,00,00,00\r\n"},
        {"List", 7, multi, nullptr, "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"},
        {"Big", 11, {1, 0, 0, 0, 0, 0, 0, 0}, nullptr, "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"},
        {"Odd", 0x20, {7}, nullptr, "\"Odd\"=hex(20):07\r\n"},
        {"Empty", 3, {}, nullptr, "\"Empty\"=hex:\r\n"},
        // A string that the quoted form cannot hold goes as hex(1).
        {"Lines", 1, twoLines, "a\r\nb", "\"Lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"},
        {"Short DWORD", 4, {1, 2}, nullptr, "\"Short DWORD\"=hex(4):01,02\r\n"},
    };
    for (const auto &c : cases)
    {
        RegText text = {};
        AppendRegValue(&text, c.name, c.type, c.bytes.data(), c.bytes.size(), c.utf8);
        EXPECT_STREQ(text.data, c.line);
        // Read back, every value gives its type and data again: strings as UTF-8 text.
        const std::string file = std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\K]\r\n") +
                                 text.data + "\r\n[HKEY_CURRENT_USER\\Next]\r\n";
        RegFile read;
        ReadRegFile(file.c_str(), &read);
        ASSERT_EQ(read.keyCount, 2);
        EXPECT_STREQ(read.keys[0].classPath, "K");
        EXPECT_EQ(read.keys[1].classPath, nullptr);
        ASSERT_EQ(read.valueCount, 1) << c.line;
        EXPECT_STREQ(read.values[0].name, c.name != nullptr ? c.name : "");
        EXPECT_EQ(read.values[0].type, c.type);
        std::string expected;
        if (c.type == 1 || c.type == 2)
            for (size_t i = 0; i + 1 < c.bytes.size() && (c.bytes[i] != 0 || c.bytes[i + 1] != 0); i += 2)
                expected += static_cast<char>(c.bytes[i]);
        else
            expected.assign(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(read.values[0].bytes), read.values[0].size), expected)
            << c.line;
        FreeRegFile(&read);
        FreeText(&text);
    }
}

// Text outside ASCII, surrogate pairs too, comes back as UTF-8; hex over continuation lines whole;
// a line that is neither a key nor a value is skipped.
TEST(RegFile, HexTextIsReadAsUtf8AndContinuationLinesJoin)
{
    RegFile read;
    ReadRegFile("; a comment\r\n[HKEY_CLASSES_ROOT\\K]\r\n\"T\"=hex(2):e9,00,ac,20,\\\r\n  3d,d8,00,de,00,00\r\n"
                "not a value\r\n",
                &read);
    ASSERT_EQ(read.valueCount, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(read.values[0].bytes), read.values[0].size),
              "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(read.values[0].data, nullptr) << "only a quoted string has its text as data";
    FreeRegFile(&read);
}

} // namespace

// What a .reg file cannot hold faithfully is left out and named, never written.
TEST(RegFile, NamesThatWouldBreakTheFileAreNotFaithful)
{
    const struct
    {
        std::string name;
        bool key;
        bool faithful;
    } cases[] = {
        {"Software\\Vendor", true, true},
        {"Software\\Planted]\r\n[HKEY_LOCAL_MACHINE\\Software\\Evil", true, false},
        {"Line\nEnd", false, false},
        {std::string("Nul\0Inside", 10), false, false},
        {"Ends]", true, false},
        {"Ends]", false, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RegNameIsFaithful(c.name.data(), c.name.size(), c.key), c.faithful) << c.name;
    char list[24] = "";
    AddToNameList(list, sizeof list, "HKLM\\A\r\n", 8);
    AddToNameList(list, sizeof list, "B", 1);
    AddToNameList(list, sizeof list, "far too long to fit", 19);
    EXPECT_STREQ(list, "HKLM\\A??, B");
}
