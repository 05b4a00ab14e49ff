#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

// The help text as the About dialog shows it. Line 25, the pointer to the project's web page,
// is only checked for being one non-empty line.
static const char *const EXPECTED_LINES[26] = {
    "To use TolVane from the Desktop:",
    "",
    "Simply drag and drop a component or components (up to 10 at once) onto TolVane to register the "
    "component(s). Hold down the shift key and drop a component on TolVane to unregister the component.",
    "",
    " - or -",
    "",
    "TolVane can be used as a direct replacement for REGSVR32 in Visual Studio:",
    "",
    "Under the Customize->Tools menu you can replace REGSVR32.EXE with TolVane. Now you can also unregister "
    "components by holding down the shift key and selecting \"Register Control\" from the Tools menu.",
    "",
    "To use TolVane as a console application:",
    "",
    " - or -",
    "",
    "tolvane [/S] [/U] myocx.ocx ",
    "/S = Silent ",
    "/U = Unregister ",
    "",
    "When in console mode, TolVane returns the completion code from DllRegister() or DllUnregister(). If the "
    "component will not even load, TolVane returns the following error codes.  ",
    "",
    "Error Codes:",
    "-1 = The entry point could not be found. If this happens, try dropping the component onto Tolvane from the "
    "desktop for more information about the failure.",
    "-2 = The component does not seem to exist where TolVane was told to look for it.",
    "",
    nullptr, // the closing paragraph
    "",
};

static std::string ReadHelpFile()
{
    std::string bytes;
    FILE *f = std::fopen(TOLVANE_SOURCE_DIR "/resources/help.txt", "rb");
    if (f == nullptr)
        return bytes;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, got);
    std::fclose(f);
    return bytes;
}

TEST(HelpTextFile, LinesEndInCrLfAndMatch)
{
    std::string text = ReadHelpFile();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find('\0'), std::string::npos);

    // Every LF follows a CR and every CR comes before an LF; the text ends in two CR LF pairs.
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); i++)
    {
        if (text[i] == '\r')
        {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
            lines.push_back(text.substr(start, i - start));
            start = i + 2;
            i++;
        }
        else
        {
            ASSERT_NE(text[i], '\n') << "bare LF at " << i;
        }
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    ASSERT_EQ(lines.size(), 26u);
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");

    for (size_t i = 0; i < 26; i++)
    {
        if (EXPECTED_LINES[i] != nullptr)
        {
            EXPECT_EQ(lines[i], EXPECTED_LINES[i]) << "line " << i + 1;
        }
    }
    EXPECT_FALSE(lines[24].empty());
    EXPECT_NE(lines[24].find("http"), std::string::npos);
    for (unsigned char c : lines[24])
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "line 25 holds byte " << int(c);
}
