#include <gtest/gtest.h>
#include "app/paths/long_path.h"

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

// A simulated file system: drives C: and D:, a share \\srv\pub, each entry with a long and a
// short name. The lookup below matches the way FindFirstFileA does, including the answer for a
// trailing "." (the folder's own name) that makes such a pattern dangerous.

struct SimEntry
{
    int parent; // -1 for a drive root or the share
    std::string longName;
    std::string shortName;
    bool isFolder;
};

struct SimDisk
{
    std::vector<SimEntry> entries; // 0: the root of C:, 1: the root of D:, 2: the share
    char currentDrive;
    int currentFolderC;
    int currentFolderD;
    std::vector<std::string> lookups;
    size_t answered; // lookups that found an entry
    // A careless lookup: a pattern that ends in a separator answers with the folder's own name,
    // and one that ends in a stream name (":name") answers for the file.
    bool careless;
};

static const int ROOT_C = 0;
static const int ROOT_D = 1;
static const int SHARE = 2;
static const size_t PATH_BYTES = 260;
static const size_t GUARD_BYTES = 64;

static void StartDisk(SimDisk *disk)
{
    disk->entries = {{-1, "", "", true}, {-1, "", "", true}, {-1, "", "", true}};
    disk->currentDrive = 'C';
    disk->currentFolderC = ROOT_C;
    disk->currentFolderD = ROOT_D;
    disk->lookups.clear();
    disk->answered = 0;
    disk->careless = false;
}

static int AddEntry(SimDisk *disk, int parent, const std::string &longName, const std::string &shortName, bool isFolder)
{
    disk->entries.push_back({parent, longName, shortName, isFolder});
    return static_cast<int>(disk->entries.size()) - 1;
}

static bool SameText(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// '*' and '?' as the lookup reads them; '<', '>' and '"' are the file system's DOS wildcards,
// modelled here as '*', '?' and '?'.
static bool GlobMatch(const char *pattern, const char *name)
{
    char p = *pattern;
    if (p == '\0')
        return *name == '\0';
    if (p == '*' || p == '<')
        return GlobMatch(pattern + 1, name) || (*name != '\0' && GlobMatch(pattern, name + 1));
    if (*name == '\0')
        return false;
    if (p == '?' || p == '>' || p == '"' ||
        std::tolower(static_cast<unsigned char>(p)) == std::tolower(static_cast<unsigned char>(*name)))
        return GlobMatch(pattern + 1, name + 1);
    return false;
}

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

static int FindChild(const SimDisk &disk, int folder, const std::string &name)
{
    for (size_t i = 0; i < disk.entries.size(); ++i)
    {
        const SimEntry &entry = disk.entries[i];
        if (entry.parent == folder && (SameText(entry.longName, name) || SameText(entry.shortName, name)))
            return static_cast<int>(i);
    }
    return -1;
}

// The entry that path names, resolved the way Windows opens it, or -1. Either slash separates,
// repeated separators count as one, "." and ".." step in place and up.
static int Resolve(const SimDisk &disk, const std::string &path)
{
    int folder;
    size_t i = 0;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
    {
        size_t serverEnd = 2;
        while (serverEnd < path.size() && !IsSeparator(path[serverEnd]))
            ++serverEnd;
        size_t shareEnd = serverEnd < path.size() ? serverEnd + 1 : serverEnd;
        while (shareEnd < path.size() && !IsSeparator(path[shareEnd]))
            ++shareEnd;
        if (!SameText(path.substr(2, serverEnd - 2), "srv") || serverEnd == path.size() ||
            !SameText(path.substr(serverEnd + 1, shareEnd - serverEnd - 1), "pub"))
            return -1;
        folder = SHARE;
        i = shareEnd;
    }
    else if (!path.empty() && IsSeparator(path[0]))
        folder = disk.currentDrive == 'C' ? ROOT_C : ROOT_D;
    else if (path.size() >= 2 && path[1] == ':')
    {
        char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        if (drive != 'C' && drive != 'D')
            return -1;
        bool rooted = path.size() >= 3 && IsSeparator(path[2]);
        if (drive == 'C')
            folder = rooted ? ROOT_C : disk.currentFolderC;
        else
            folder = rooted ? ROOT_D : disk.currentFolderD;
        i = 2;
    }
    else
        folder = disk.currentDrive == 'C' ? disk.currentFolderC : disk.currentFolderD;

    int current = folder;
    while (i <= path.size())
    {
        size_t end = i;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        std::string name = path.substr(i, end - i);
        i = end + 1;
        if (name.empty() || name == ".")
            continue;
        if (!disk.entries[current].isFolder)
            return -1;
        if (name == "..")
        {
            if (disk.entries[current].parent >= 0)
                current = disk.entries[current].parent;
            continue;
        }
        current = FindChild(disk, current, name);
        if (current < 0)
            return -1;
    }
    return current;
}

static bool SimFindEntryName(const char *pattern, char *name, void *context)
{
    SimDisk *disk = static_cast<SimDisk *>(context);
    std::string text = pattern;
    disk->lookups.push_back(text);
    if (disk->careless)
    {
        if (!text.empty() && IsSeparator(text.back()))
            text += ".";
        size_t colon = text.rfind(':');
        if (colon != std::string::npos && colon > 1)
            text.resize(colon);
    }
    if (text.empty() || IsSeparator(text.back()))
        return false;

    size_t lastStart = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (IsSeparator(text[i]))
            lastStart = i + 1;
    if (lastStart == 0 && text.size() >= 2 && text[1] == ':')
        lastStart = 2;
    std::string folderPath = text.substr(0, lastStart);
    std::string last = text.substr(lastStart);

    int folder = Resolve(*disk, folderPath);
    if (folder < 0 || !disk->entries[folder].isFolder)
        return false;

    const std::string *found = nullptr;
    if (last == "." || last == "..")
    {
        int named = last == "." ? folder : disk->entries[folder].parent;
        if (named < 0 || disk->entries[named].parent < 0)
            return false;
        found = &disk->entries[named].longName;
    }
    else
    {
        bool wildcard = last.find_first_of("*?<>\"") != std::string::npos;
        for (const SimEntry &entry : disk->entries)
        {
            if (entry.parent != folder)
                continue;
            bool match = wildcard ? GlobMatch(last.c_str(), entry.longName.c_str()) ||
                                        GlobMatch(last.c_str(), entry.shortName.c_str())
                                  : SameText(entry.longName, last) || SameText(entry.shortName, last);
            if (match)
            {
                found = &entry.longName;
                break;
            }
        }
    }
    if (found == nullptr)
        return false;
    std::memcpy(name, found->c_str(), found->size() + 1);
    ++disk->answered;
    return true;
}

// The caller's 260-byte buffer inside a larger block: the bytes after the terminator and the
// guard bytes after byte 260 hold known values, so any stray write shows.
struct GuardedPath
{
    char bytes[PATH_BYTES + GUARD_BYTES];
};

static void LoadPath(GuardedPath *buffer, const std::string &path)
{
    std::memset(buffer->bytes, 0x5A, PATH_BYTES);
    std::memset(buffer->bytes + PATH_BYTES, 0xA5, GUARD_BYTES);
    std::memcpy(buffer->bytes, path.c_str(), path.size() + 1);
}

static bool GuardsIntact(const GuardedPath &buffer)
{
    for (size_t i = PATH_BYTES; i < PATH_BYTES + GUARD_BYTES; ++i)
        if (static_cast<unsigned char>(buffer.bytes[i]) != 0xA5)
            return false;
    return true;
}

static bool Terminated(const GuardedPath &buffer)
{
    return std::memchr(buffer.bytes, '\0', PATH_BYTES) != nullptr;
}

static std::string Upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

static const std::string LONG_FOLDER(100, 'F');                                   // C:\FFFFFF~1
static const std::string FITS_FILE = std::string(151, 'a') + ".ocx";              // 3 + 100 + 1 + 155 = 259
static const std::string OVER_FILE = std::string(152, 'b') + ".ocx";              // one character too many
static const std::string ROOT_TILDE_FILE = "T~" + std::string(250, 'q') + ".ocx"; // 256 characters

static void BuildDisk(SimDisk *disk)
{
    StartDisk(disk);
    int programFiles = AddEntry(disk, ROOT_C, "Program Files", "PROGRA~1", true);
    int commonFiles = AddEntry(disk, programFiles, "Common Files", "COMMON~1", true);
    AddEntry(disk, commonFiles, "Grid Control.ocx", "GRIDCO~1.OCX", false);
    AddEntry(disk, commonFiles, "shared", "SHARED", true);
    int tildeTools = AddEntry(disk, programFiles, "Tilde~Tools", "TILDE~1", true);
    AddEntry(disk, tildeTools, "tool.dll", "TOOL.DLL", false);
    AddEntry(disk, programFiles, "Setup Helper.dll", "SETUPH~1.DLL", false);
    AddEntry(disk, programFiles, "~backup", "~B", false);
    int windows = AddEntry(disk, ROOT_C, "Windows", "WINDOWS", true);
    int system32 = AddEntry(disk, windows, "System32", "SYSTEM32", true);
    AddEntry(disk, system32, "Chart Control.ocx", "CHARTC~1.OCX", false);
    AddEntry(disk, system32, "Grid Control.ocx", "GRIDCO~1.OCX", false);
    AddEntry(disk, system32, "Grid Control 2.ocx", "GRIDCO~2.OCX", false);
    AddEntry(disk, ROOT_C, "Grid Control.ocx", "GRIDCO~1.OCX", false);
    AddEntry(disk, ROOT_C, ROOT_TILDE_FILE, "T~QQQQ~1.OCX", false);
    int longFolder = AddEntry(disk, ROOT_C, LONG_FOLDER, "FFFFFF~1", true);
    AddEntry(disk, longFolder, FITS_FILE, "AAAAAA~1.OCX", false);
    AddEntry(disk, longFolder, OVER_FILE, "BBBBBB~1.OCX", false);
    int tools = AddEntry(disk, ROOT_D, "Tools", "TOOLS", true);
    AddEntry(disk, tools, "Grid Control.ocx", "GRIDCO~1.OCX", false);
    int oldTools = AddEntry(disk, tools, "Old Tools", "OLDTOO~1", true);
    AddEntry(disk, oldTools, "Grid Control.ocx", "GRIDCO~1.OCX", false);
    int controls = AddEntry(disk, SHARE, "Controls", "CONTRO~1", true);
    AddEntry(disk, controls, "Grid Control.ocx", "GRIDCO~1.OCX", false);
    disk->currentFolderC = programFiles;
    disk->currentFolderD = oldTools;
}

struct ExpandCase
{
    const char *input;
    const char *expected;
    std::vector<const char *> lookups;
};

TEST(LongPath, ExpandsEachNameFromTheRootOutward)
{
    const ExpandCase cases[] = {
        {"C:\\PROGRA~1\\COMMON~1\\GRIDCO~1.OCX",
         "C:\\Program Files\\Common Files\\Grid Control.ocx",
         {"C:\\PROGRA~1", "C:\\PROGRA~1\\COMMON~1", "C:\\PROGRA~1\\COMMON~1\\GRIDCO~1.OCX"}},
        // The root keeps its letter case; every other name comes back as stored.
        {"c:\\windows\\system32\\GRIDCO~1.OCX",
         "c:\\Windows\\System32\\Grid Control.ocx",
         {"c:\\windows", "c:\\windows\\system32", "c:\\windows\\system32\\GRIDCO~1.OCX"}},
        {"C:\\GRIDCO~1.OCX", "C:\\Grid Control.ocx", {"C:\\GRIDCO~1.OCX"}},
        // A long name holding a tilde sets the rewrite off too.
        {"C:\\program files\\tilde~tools\\TOOL.DLL",
         "C:\\Program Files\\Tilde~Tools\\tool.dll",
         {"C:\\program files", "C:\\program files\\tilde~tools", "C:\\program files\\tilde~tools\\TOOL.DLL"}},
        {"C:\\Program Files\\COMMON~1\\shared",
         "C:\\Program Files\\Common Files\\shared",
         {"C:\\Program Files", "C:\\Program Files\\COMMON~1", "C:\\Program Files\\COMMON~1\\shared"}},
        // Relative to the current folder of a drive.
        {"C:COMMON~1\\GRIDCO~1.OCX", "C:Common Files\\Grid Control.ocx", {"C:COMMON~1", "C:COMMON~1\\GRIDCO~1.OCX"}},
        {"d:GRIDCO~1.OCX", "d:Grid Control.ocx", {"d:GRIDCO~1.OCX"}},
        // From the root of the current drive.
        {"\\PROGRA~1\\COMMON~1\\GRIDCO~1.OCX",
         "\\Program Files\\Common Files\\Grid Control.ocx",
         {"\\PROGRA~1", "\\PROGRA~1\\COMMON~1", "\\PROGRA~1\\COMMON~1\\GRIDCO~1.OCX"}},
        // Relative to the current folder.
        {"COMMON~1\\GRIDCO~1.OCX", "Common Files\\Grid Control.ocx", {"COMMON~1", "COMMON~1\\GRIDCO~1.OCX"}},
        {"SETUPH~1.DLL", "Setup Helper.dll", {"SETUPH~1.DLL"}},
        {"~B", "~backup", {"~B"}},
        // A network path keeps \\server\share\ as written.
        {"\\\\srv\\pub\\CONTRO~1\\GRIDCO~1.OCX",
         "\\\\srv\\pub\\Controls\\Grid Control.ocx",
         {"\\\\srv\\pub\\CONTRO~1", "\\\\srv\\pub\\CONTRO~1\\GRIDCO~1.OCX"}},
        {"\\\\SRV\\PUB\\CONTRO~1", "\\\\SRV\\PUB\\Controls", {"\\\\SRV\\PUB\\CONTRO~1"}},
    };
    for (const ExpandCase &c : cases)
    {
        SCOPED_TRACE(c.input);
        SimDisk disk;
        BuildDisk(&disk);
        GuardedPath buffer;
        LoadPath(&buffer, c.input);
        ExpandLongPath(buffer.bytes, SimFindEntryName, &disk);
        EXPECT_STREQ(buffer.bytes, c.expected);
        EXPECT_EQ(disk.lookups, std::vector<std::string>(c.lookups.begin(), c.lookups.end()));
        EXPECT_TRUE(GuardsIntact(buffer));
    }
}

TEST(LongPath, PathWithoutTildeIsNotLookedUp)
{
    const char *const paths[] = {
        "c:\\program files\\common files\\grid control.ocx",
        "C:\\PROGRA1\\GRIDCO1.OCX",
        "setup helper.dll",
        "\\\\srv\\pub\\controls",
        "",
        "C:",
    };
    for (const char *path : paths)
    {
        SCOPED_TRACE(path);
        SimDisk disk;
        BuildDisk(&disk);
        GuardedPath buffer;
        LoadPath(&buffer, path);
        GuardedPath before = buffer;
        ExpandLongPath(buffer.bytes, SimFindEntryName, &disk);
        EXPECT_EQ(std::memcmp(buffer.bytes, before.bytes, sizeof buffer.bytes), 0);
        EXPECT_TRUE(disk.lookups.empty());
    }
}

// Every one of these would, expanded name by name, name nothing or something else than the
// argument did, or not fit; the buffer must keep the argument byte for byte.
TEST(LongPath, LeavesPathAsGivenWhenExpansionCannotBeTrusted)
{
    const std::string cases[] = {
        // A lookup finds nothing, first name or last.
        "C:\\NOSUCH~1\\GRIDCO~1.OCX",
        "C:\\PROGRA~1\\COMMON~1\\MISSIN~1.OCX",
        "C:\\GRIDCO~1.OCX\\GRIDCO~1.OCX",
        "~",
        // Empty names: doubled or trailing backslash.
        "C:\\PROGRA~1\\\\COMMON~1\\GRIDCO~1.OCX",
        "C:\\PROGRA~1\\COMMON~1\\",
        "C:\\\\PROGRA~1",
        // Wildcards would pick whatever matches first.
        "c:\\windows\\system32\\GRIDCO~?.OCX",
        "c:\\windows\\system32\\*~2.OCX",
        "C:\\PROGRA~1\\*\\GRIDCO~1.OCX",
        "c:\\windows\\system32\\<~1.OCX",
        "c:\\windows\\system32\\GRIDCO~1>OCX",
        // "." and ".." would come back as a folder's own name.
        "C:\\PROGRA~1\\.\\COMMON~1\\GRIDCO~1.OCX",
        "C:\\PROGRA~1\\COMMON~1\\.",
        "C:\\WINDOWS\\SYSTEM32\\..\\..\\PROGRA~1\\COMMON~1\\GRIDCO~1.OCX",
        "..\\WINDOWS\\SYSTEM32\\GRIDCO~1.OCX",
        "D:..\\GRIDCO~1.OCX",
        // A stream name.
        "C:\\PROGRA~1\\COMMON~1\\GRIDCO~1.OCX:stream",
        "C:\\PROGRA~1\\COMMON~1:x\\GRIDCO~1.OCX",
        // Forward slashes are left alone.
        "C:/PROGRA~1/COMMON~1/GRIDCO~1.OCX",
        "C:\\PROGRA~1/COMMON~1\\GRIDCO~1.OCX",
        "COMMON~1/GRIDCO~1.OCX",
        // Network paths without a server, a share or anything below the share; the extended
        // form holds a '?'.
        "\\\\SRV~1",
        "\\\\srv\\PUB~1",
        "\\\\srv\\pub~1\\",
        "\\\\\\PROGRA~1\\GRIDCO~1.OCX",
        "\\\\srv\\\\CONTRO~1",
        "\\\\?\\C:\\PROGRA~1\\COMMON~1\\GRIDCO~1.OCX",
        // The long form would pass 259 characters.
        "C:\\FFFFFF~1\\BBBBBB~1.OCX",
        "C:\\FFFFFF~1\\" + Upper(FITS_FILE) + "\\X",
        // 259 characters with a tilde, every name found, the long form too long.
        "C:\\FFFFFF~1\\" + FITS_FILE + "\\" + std::string(259 - 12 - 155 - 1, 'z'),
        "C:\\PROGRA~1\\" + std::string(259 - 12, 'y'),
    };
    for (const std::string &path : cases)
    {
        for (bool careless : {false, true})
        {
            SCOPED_TRACE(path + (careless ? " (careless lookup)" : ""));
            ASSERT_LE(path.size(), 259u);
            SimDisk disk;
            BuildDisk(&disk);
            disk.careless = careless;
            GuardedPath buffer;
            LoadPath(&buffer, path);
            GuardedPath before = buffer;
            ExpandLongPath(buffer.bytes, SimFindEntryName, &disk);
            EXPECT_EQ(std::memcmp(buffer.bytes, before.bytes, sizeof buffer.bytes), 0);
        }
    }
}

TEST(LongPath, LongFormOfExactly259CharactersFits)
{
    const std::string cases[][2] = {
        {"C:\\FFFFFF~1\\AAAAAA~1.OCX", "C:\\" + LONG_FOLDER + "\\" + FITS_FILE},
        // A 259-character argument whose long form is as long.
        {"C:\\" + Upper(ROOT_TILDE_FILE), "C:\\" + ROOT_TILDE_FILE},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c[0]);
        ASSERT_EQ(c[1].size(), 259u);
        SimDisk disk;
        BuildDisk(&disk);
        GuardedPath buffer;
        LoadPath(&buffer, c[0]);
        ExpandLongPath(buffer.bytes, SimFindEntryName, &disk);
        EXPECT_EQ(std::string(buffer.bytes), c[1]);
        EXPECT_TRUE(GuardsIntact(buffer));
    }
}

// A lookup that answers with something that is not one plain name must not be joined in.
TEST(LongPath, IgnoresAnswerThatIsNotOneName)
{
    const char *const answers[] = {"", ".", "..", "Program Files\\Other", "a/b", "x*y", "D:other"};
    for (const char *answer : answers)
    {
        SCOPED_TRACE(answer);
        GuardedPath buffer;
        LoadPath(&buffer, "C:\\PROGRA~1\\GRIDCO~1.OCX");
        GuardedPath before = buffer;
        ExpandLongPath(
            buffer.bytes,
            [](const char *, char *name, void *context) {
                std::strcpy(name, static_cast<const char *>(context));
                return true;
            },
            const_cast<char *>(answer));
        EXPECT_EQ(std::memcmp(buffer.bytes, before.bytes, sizeof buffer.bytes), 0);
    }
}

TEST(LongPath, UnterminatedBufferIsNotReadPastItsEnd)
{
    // Exactly 260 bytes on the heap, so the address sanitizer sees any access past them.
    std::vector<char> path(PATH_BYTES, '~');
    int lookups = 0;
    ExpandLongPath(
        path.data(),
        [](const char *, char *, void *context) {
            ++*static_cast<int *>(context);
            return false;
        },
        &lookups);
    EXPECT_EQ(std::string(path.begin(), path.end()), std::string(PATH_BYTES, '~'));
    EXPECT_EQ(lookups, 0);
}

// Random trees and random paths: whatever the input, nothing lands past the 260 bytes and the
// result is either the input itself or another name for the same entry.

static std::string RandomName(std::mt19937 *random, size_t maxLength)
{
    static const char letters[] = "abcdeXYZ019 ._-~";
    std::uniform_int_distribution<size_t> lengthPick(1, maxLength);
    std::uniform_int_distribution<size_t> letterPick(0, sizeof letters - 2);
    for (;;)
    {
        std::string name;
        size_t length = lengthPick(*random);
        for (size_t i = 0; i < length; ++i)
            name += letters[letterPick(*random)];
        // File systems store no name of dots only and none that ends in a dot or a space.
        if (name.back() != '.' && name.back() != ' ' && name.find_first_not_of(". ") != std::string::npos)
            return name;
    }
}

static bool NameTaken(const SimDisk &disk, int folder, const std::string &name)
{
    return FindChild(disk, folder, name) >= 0;
}

static void BuildRandomDisk(SimDisk *disk, std::mt19937 *random)
{
    StartDisk(disk);
    std::vector<int> folders = {ROOT_C, ROOT_D, SHARE};
    std::uniform_int_distribution<int> percent(0, 99);
    for (int n = 0; n < 250; ++n)
    {
        // Prefer recent folders, so the tree grows deep as well as wide.
        std::uniform_int_distribution<size_t> folderPick(folders.size() > 12 ? folders.size() - 12 : 0,
                                                         folders.size() - 1);
        int parent = percent(*random) < 70 ? folders[folderPick(*random)] : folders[percent(*random) % 3];
        std::string longName = RandomName(random, percent(*random) < 20 ? 70 : 14);
        if (NameTaken(*disk, parent, longName))
            continue;
        std::string shortName;
        std::string stem;
        for (char c : longName)
            if (std::isalnum(static_cast<unsigned char>(c)) && stem.size() < 6)
                stem += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (stem.empty())
            stem = "X";
        for (int suffix = 1; shortName.empty() || NameTaken(*disk, parent, shortName); ++suffix)
            shortName = stem + "~" + std::to_string(suffix);
        bool isFolder = percent(*random) < 45;
        int entry = AddEntry(disk, parent, longName, shortName, isFolder);
        if (isFolder)
            folders.push_back(entry);
    }
    disk->currentFolderC = folders[folders.size() / 2];
    disk->currentFolderD = folders[folders.size() - 1];
    disk->currentDrive = percent(*random) < 50 ? 'C' : 'D';
}

static std::string MixCase(std::string text, std::mt19937 *random)
{
    for (char &c : text)
        if ((*random)() % 2 == 0)
            c = static_cast<char>(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    return text;
}

// About half the paths walk the tree by its own names; the rest take a random mix of dots, empty
// names, wildcards, forward slashes, unknown and overlong names.
static std::string RandomPath(const SimDisk &disk, std::mt19937 *random)
{
    static const char *const roots[] = {
        "C:\\",           "c:\\",           "D:\\",      "C:",          "d:",          "\\",  "",  "",
        "\\\\srv\\pub\\", "\\\\SRV\\Pub\\", "\\\\srv\\", "\\\\?\\C:\\", "\\\\.\\C:\\", "C:/", "/", "\\\\srv~1\\pub\\"};
    std::uniform_int_distribution<int> percent(0, 99);
    std::string path = roots[(*random)() % (sizeof roots / sizeof roots[0])];
    int folder = Resolve(disk, path);
    if (folder < 0)
        folder = ROOT_C;
    int mutations = percent(*random) < 50 ? 0 : 15;

    int count = 1 + percent(*random) % 8;
    for (int n = 0; n < count; ++n)
    {
        if (n > 0)
        {
            int separator = percent(*random) + mutations;
            path += separator < 105 ? "\\" : separator < 110 ? "/" : "\\\\";
        }
        std::vector<int> children;
        for (size_t i = 0; i < disk.entries.size(); ++i)
            if (disk.entries[i].parent == folder)
                children.push_back(static_cast<int>(i));
        int pick = percent(*random) - mutations;
        if (!children.empty() && pick >= 0)
        {
            int child = children[(*random)() % children.size()];
            const SimEntry &entry = disk.entries[child];
            std::string name = pick < 50   ? entry.shortName
                               : pick < 75 ? entry.longName
                                           : MixCase(entry.longName, random);
            if (mutations != 0 && pick % 7 == 0)
                name[(*random)() % name.size()] = "*?<>\""[(*random)() % 5];
            path += name;
            if (!entry.isFolder)
                break;
            folder = child;
        }
        else if (pick >= -5)
        {
            path += pick % 2 == 0 ? "." : "..";
            if (pick % 2 != 0 && disk.entries[folder].parent >= 0)
                folder = disk.entries[folder].parent;
        }
        else if (pick >= -8)
            path += "";
        else
            path += RandomName(random, pick < -12 ? 12 : 200);
    }
    if (mutations != 0 && percent(*random) < 10)
        path += "\\";
    if (mutations != 0 && percent(*random) < 10)
        path.insert(path.size() / 2, "~");
    if (path.size() > 259)
        path.resize(259);
    return path;
}

TEST(LongPathFuzz, ResultNamesTheSameEntryAndStaysInTheBuffer)
{
    std::mt19937 random(20240601);
    int expanded = 0;
    int overflowed = 0;
    int keptWithTilde = 0;
    int expandedWithoutDriveRoot = 0;
    SimDisk disk;
    for (int round = 0; round < 20000; ++round)
    {
        if (round % 500 == 0)
            BuildRandomDisk(&disk, &random);
        std::string input = RandomPath(disk, &random);
        disk.lookups.clear();
        disk.answered = 0;
        GuardedPath buffer;
        LoadPath(&buffer, input);
        ExpandLongPath(buffer.bytes, SimFindEntryName, &disk);

        ASSERT_TRUE(GuardsIntact(buffer)) << input;
        ASSERT_TRUE(Terminated(buffer)) << input;
        std::string result = buffer.bytes;
        if (input.find('~') == std::string::npos)
        {
            ASSERT_EQ(result, input);
            ASSERT_TRUE(disk.lookups.empty()) << input;
            continue;
        }
        if (result == input)
        {
            ++keptWithTilde;
            // Every name found and still kept: the long form did not fit.
            if (!disk.lookups.empty() && disk.answered == disk.lookups.size())
                ++overflowed;
            continue;
        }
        int named = Resolve(disk, input);
        ASSERT_GE(named, 0) << input << " became " << result;
        ASSERT_EQ(Resolve(disk, result), named) << input << " became " << result;
        ++expanded;
        if (!(input.size() >= 3 && input[1] == ':' && input[2] == '\\'))
            ++expandedWithoutDriveRoot;
    }
    // The run means something only when it expands plenty of paths and keeps plenty.
    EXPECT_GT(expanded, 3000);
    EXPECT_GT(expandedWithoutDriveRoot, 1500);
    EXPECT_GT(keptWithTilde, 5000);
    EXPECT_GT(overflowed, 300);
}
