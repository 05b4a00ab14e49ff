// Components named by short (8.3) paths are registered under their long names.
#include <gtest/gtest.h>

#include <cctype>

#include "e2e_support.h"

namespace
{

std::string ShortPath(const std::string &path)
{
    char shortPath[MAX_PATH] = "";
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return length > 0 && length < sizeof shortPath ? shortPath : "";
}

struct LongPathCase
{
    bool lowerCaseDrive; // the drive letter as the user typed it stays as typed
    const char *options;
};

TEST(LongPath, ShortPathIsReportedByItsLongName)
{
    std::string dir = MakeWorkFolder("long path");
    std::string folder = dir + "\\Common Component Files";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string longPath = PlaceComponent("ok", folder, "Grid Control Component.ocx");
    std::string shortPath = ShortPath(longPath);
    ASSERT_FALSE(shortPath.empty());
    ASSERT_NE(shortPath.find('~'), std::string::npos) << "Wine gave no short name: " << shortPath;

    const LongPathCase cases[] = {{false, ""}, {true, ""}, {false, "/u "}};
    for (const LongPathCase &c : cases)
    {
        std::string argument = shortPath;
        std::string expected = longPath;
        if (c.lowerCaseDrive)
        {
            argument[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(argument[0])));
            expected[0] = argument[0];
        }
        SCOPED_TRACE(argument);
        RunResult run = RunProgram(std::string(c.options) + "\"" + argument + "\"", dir);
        ASSERT_TRUE(run.exited);
        ASSERT_EQ(run.dialogs.size(), 1u);
        EXPECT_EQ(run.dialogs[0].title, "TolVane 3.1");
        EXPECT_EQ(run.dialogs[0].text, "The component '" + expected + "' has " +
                                           (c.options[0] != '\0' ? "unregistered" : "registered") + " successfully.");
        EXPECT_EQ(run.exitCode, 0u);
    }
}

TEST(LongPath, ShortPathThatNamesNothingIsReportedAsTyped)
{
    std::string dir = MakeWorkFolder("long path");
    std::string folder = dir + "\\Common Component Files";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string shortFolder = ShortPath(folder);
    ASSERT_NE(shortFolder.find('~'), std::string::npos);
    std::string argument = shortFolder + "\\MISSIN~1.OCX";
    RunResult run = RunProgram("\"" + argument + "\"", dir);
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.dialogs.size(), 1u);
    EXPECT_EQ(run.dialogs[0].title, "Component Registration Error");
    EXPECT_EQ(run.dialogs[0].text, "The component '" + argument + "' could not found on this computer.");
    EXPECT_EQ(run.exitCode, 0xFFFFFFFEu);
}

} // namespace
