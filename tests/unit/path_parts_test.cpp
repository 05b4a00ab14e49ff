#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/paths/path_parts.h"

namespace
{

// Shift-JIS lead bytes: 0x81-0x9F and 0xE0-0xFC. Their trail bytes include 0x5C ('\').
bool ShiftJisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

struct SplitCase
{
    const char *path;
    const char *drive;
    const char *directory;
    const char *fileName;
    const char *extension;
};

TEST(SplitPath, SplitsIntoDriveDirectoryNameAndExtension)
{
    const SplitCase cases[] = {
        {"C:\\dir\\name.dll", "C:", "\\dir\\", "name", ".dll"},
        {"name.dll", "", "", "name", ".dll"},
        {"C:name.ocx", "C:", "", "name", ".ocx"},
        {"c:/a/b/c.x", "c:", "/a/b/", "c", ".x"},
        {"\\\\srv\\share\\x.dll", "", "\\\\srv\\share\\", "x", ".dll"},
        {"C:\\my.dir\\name", "C:", "\\my.dir\\", "name", ""},
        {"C:\\dir\\a.tar.gz", "C:", "\\dir\\", "a.tar", ".gz"},
        {"C:\\dir\\", "C:", "\\dir\\", "", ""},
        {"C:\\dir\\.hidden", "C:", "\\dir\\", "", ".hidden"},
        {"name.", "", "", "name", "."},
        {"a\\b/c\\d", "", "a\\b/c\\", "d", ""},
        {"", "", "", "", ""},
        {"C:", "C:", "", "", ""},
    };
    for (const SplitCase &c : cases)
    {
        PathParts parts;
        SplitPath(c.path, NoLeadBytes, &parts);
        EXPECT_STREQ(parts.drive, c.drive) << c.path;
        EXPECT_STREQ(parts.directory, c.directory) << c.path;
        EXPECT_STREQ(parts.fileName, c.fileName) << c.path;
        EXPECT_STREQ(parts.extension, c.extension) << c.path;
    }
}

TEST(SplitPath, TrailByteIsNeverASeparatorOrADot)
{
    // "C:\<0x95 0x5C>\<0x83 0x2E>x.dll": the 0x5C and 0x2E bytes belong to double-byte characters.
    const char path[] = "C:\\\x95\x5C\\\x83\x2E"
                        "x.dll";
    PathParts parts;
    SplitPath(path, ShiftJisLeadByte, &parts);
    EXPECT_STREQ(parts.directory, "\\\x95\x5C\\");
    EXPECT_STREQ(parts.fileName, "\x83\x2E"
                                 "x");
    EXPECT_STREQ(parts.extension, ".dll");

    // The same bytes read in a single-byte code page do separate.
    SplitPath(path, NoLeadBytes, &parts);
    EXPECT_STREQ(parts.directory, "\\\x95\\\\");
    EXPECT_STREQ(parts.fileName, "\x83.x");
    EXPECT_STREQ(parts.extension, ".dll");
}

TEST(SplitPath, LongPartsAreCutTo255CharactersAndNeverInsideACharacter)
{
    std::string longName(300, 'n');
    PathParts parts;
    SplitPath(("C:\\d\\" + longName + ".dll").c_str(), NoLeadBytes, &parts);
    EXPECT_EQ(std::strlen(parts.fileName), 255u);
    EXPECT_STREQ(parts.extension, ".dll");

    // 127 double-byte characters fill 254 bytes; the 128th does not fit whole.
    std::string wide;
    for (int i = 0; i < 130; i++)
        wide += "\x95\x5C";
    SplitPath(("C:\\d\\" + wide).c_str(), ShiftJisLeadByte, &parts);
    EXPECT_EQ(std::strlen(parts.fileName), 254u);

    SplitPath(("C:\\" + std::string(400, 'd') + "\\x.y").c_str(), NoLeadBytes, &parts);
    EXPECT_EQ(std::strlen(parts.directory), 255u);
    EXPECT_STREQ(parts.fileName, "x");
}

struct MakeCase
{
    const char *drive;
    const char *directory;
    const char *fileName;
    const char *extension;
    const char *path;
};

TEST(MakePath, JoinsTheParts)
{
    const MakeCase cases[] = {
        {"C:", "\\dir\\", "name", ".dll", "C:\\dir\\name.dll"},
        {"C:", "\\dir", "name", "dll", "C:\\dir\\name.dll"},
        {"C", "/dir/", nullptr, nullptr, "C:/dir/"},
        {"C:", "\\dir\\", nullptr, nullptr, "C:\\dir\\"},
        {"", "", "name", ".ocx", "name.ocx"},
        {nullptr, nullptr, "name", "", "name"},
        {"", "", "", "", ""},
        {"", "rel", "x", ".y", "rel\\x.y"},
    };
    for (const MakeCase &c : cases)
    {
        char out[PATH_BUFFER_SIZE];
        EXPECT_TRUE(MakePath(out, c.drive, c.directory, c.fileName, c.extension, NoLeadBytes));
        EXPECT_STREQ(out, c.path);
    }
}

TEST(MakePath, DirectoryEndingInATrailByteGetsItsBackslash)
{
    char out[PATH_BUFFER_SIZE];
    MakePath(out, "C:", "\\\x95\x5C", "x", ".dll", ShiftJisLeadByte);
    EXPECT_STREQ(out, "C:\\\x95\x5C\\x.dll");
}

TEST(MakePath, NeverWritesPastThePathBuffer)
{
    char out[PATH_BUFFER_SIZE + 16];
    std::memset(out, '#', sizeof out);
    std::string part(255, 'p');
    EXPECT_FALSE(MakePath(out, "C:", part.c_str(), part.c_str(), part.c_str(), NoLeadBytes));
    EXPECT_EQ(std::strlen(out), PATH_BUFFER_SIZE - 1);
    for (size_t i = PATH_BUFFER_SIZE; i < sizeof out; i++)
        EXPECT_EQ(out[i], '#');
}

TEST(PathParts, FolderFileNameAndRoot)
{
    const struct
    {
        const char *path;
        const char *folder; // ends in its separator
        const char *name;
        int root; // -1: a network path without a share
        LeadByteTest isLeadByte;
    } cases[] = {
        {"C:\\a\\b\\x.dll", "C:\\a\\b\\", "x.dll", 3, NoLeadBytes},
        {"C:\\x.dll", "C:\\", "x.dll", 3, NoLeadBytes},
        {"C:x.dll", "C:", "x.dll", 2, NoLeadBytes},
        {"x.dll", "", "x.dll", 0, NoLeadBytes},
        {"\\x.dll", "\\", "x.dll", 1, NoLeadBytes},
        {"\\\\srv\\share\\x.dll", "\\\\srv\\share\\", "x.dll", 12, NoLeadBytes},
        {"//srv/share/x.dll", "//srv/share/", "x.dll", 12, NoLeadBytes},
        {"\\\\srv", "\\\\", "srv", -1, NoLeadBytes},
        // A trail byte 0x5C is no separator.
        {"C:\\\x95\x5C.dll", "C:\\", "\x95\x5C.dll", 3, ShiftJisLeadByte},
    };
    for (const auto &c : cases)
    {
        char folder[PATH_BUFFER_SIZE];
        FolderOf(c.path, c.isLeadByte, folder);
        EXPECT_STREQ(folder, c.folder) << c.path;
        EXPECT_STREQ(FileNamePart(c.path, c.isLeadByte), c.name) << c.path;
        size_t root = 0;
        EXPECT_EQ(PathRoot(c.path, std::strlen(c.path), &root) ? static_cast<int>(root) : -1, c.root) << c.path;
    }
}

} // namespace

TEST(IsDeviceName, DevicesWhateverFollowsTheirName)
{
    const struct
    {
        const char *path;
        bool device;
    } cases[] = {
        {"\\\\.\\CON", true},
        {"\\\\.\\C:\\x\\ok.dll", true},
        {"C:\\x\\CON", true},
        {"C:\\x\\con.dll", true},
        {"C:\\x\\Nul .txt", true},
        {"C:\\x\\AUX", true},
        {"C:\\x\\prn.ocx", true},
        {"C:\\x\\COM1", true},
        {"C:\\x\\lpt9.dll", true},
        {"C:\\x\\CONOUT$", true},
        {"C:\\x\\COM0", false},
        {"C:\\x\\COM10", false},
        {"C:\\x\\CONSOLE.dll", false},
        {"C:\\x\\ACON.dll", false},
        {"C:\\CON\\ok.dll", false},
        {"\\\\server\\share\\ok.dll", false},
        {"\\\\?\\C:\\x\\ok.dll", false},
        {"C:\\x\\ok.dll", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsDeviceName(c.path, NoLeadBytes), c.device) << c.path;
}

// A path as a folder resolves it: the run's start folder, a network one, or none.
TEST(FullPathFromFolder, RootedDriveRelativeAndPlainNamesFromTheFolder)
{
    const struct
    {
        const char *folder;
        const char *path;
        const char *full;
    } cases[] = {
        {"\\\\srv\\share\\d", "x.dll", "\\\\srv\\share\\d\\x.dll"},
        {"\\\\srv\\share\\d\\", "x.dll", "\\\\srv\\share\\d\\x.dll"},
        {"\\\\srv\\share\\d", "\\x.dll", "\\\\srv\\share\\x.dll"},
        {"\\\\srv\\share\\d", "C:x.dll", "C:x.dll"},
        {"C:\\", "x.dll", "C:\\x.dll"},
        {"C:\\", "\\x.dll", "C:\\x.dll"},
        {nullptr, "x.dll", "x.dll"},
        {"relative", "x.dll", "x.dll"},
    };
    for (const auto &c : cases)
    {
        char full[PATH_BUFFER_SIZE];
        FullPathFromFolder(c.folder, c.path, full);
        EXPECT_STREQ(full, c.full) << (c.folder != nullptr ? c.folder : "(none)") << " " << c.path;
    }
}

// Names compare in any ASCII case; the second byte of a double-byte character as it is.
TEST(Text, NamesCompareWithoutCaseButNeverInsideACharacter)
{
    const struct
    {
        const char *a, *b;
        LeadByteTest isLeadByte;
        bool same;
    } cases[] = {
        {"Grid.OCX", "grid.ocx", NoLeadBytes, true},
        {"grid", "grid.ocx", NoLeadBytes, false},
        {"\x82" "A.dll", "\x82" "a.dll", ShiftJisLeadByte, false},
        {"\x82" "A.DLL", "\x82" "A.dll", ShiftJisLeadByte, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SameIgnoringCase(c.a, c.b, c.isLeadByte), c.same) << c.a << " " << c.b;
    EXPECT_STREQ(AfterIgnoringCase("API-MS-win-core.dll", "api-ms-"), "win-core.dll");
    EXPECT_EQ(AfterIgnoringCase("api-m", "api-ms-"), nullptr);
}
