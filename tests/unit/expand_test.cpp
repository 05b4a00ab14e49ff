// Patterns and folders on the command line: where a pattern stands, what it matches, in which
// order, which files are components for the modes (read from their bytes), and the arguments that
// take their place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/expand/expand.h"
#include "pe_image_builder.h"

namespace
{

// Shift-JIS lead bytes: "\x95\x5C" is one character whose second byte is a backslash.
bool ShiftJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::vector<unsigned char> Bytes(const std::string &text)
{
    return std::vector<unsigned char>(text.begin(), text.end());
}

// DLLs that export these names and import nothing.
const std::vector<unsigned char> SERVER = Image({}, {"DllRegisterServer", "DllUnregisterServer"});
const std::vector<unsigned char> SERVER64 = Image({}, {"DllRegisterServer", "DllUnregisterServer"}, X64);
const std::vector<unsigned char> REGISTER_ONLY = Image({}, {"DllRegisterServer"});
const std::vector<unsigned char> INSTALL_ONLY = Image({}, {"DllInstall"});
const std::vector<unsigned char> PLAIN = Image({}, {"DllMain", "Other"});
const std::vector<unsigned char> LIBRARY = Bytes(std::string("MSFT\2\0\1\0", 8) + std::string(64, '\0'));
const std::vector<unsigned char> TEXT = Bytes("hello, DllRegisterServer\r\n");

// The simulated file system: files by full path, folders by full path without a trailing
// separator, what the run asks of it.
std::map<std::string, std::vector<unsigned char>> files;
std::set<std::string> folders;
std::vector<std::string> folderQuestions; // every path isFolder was asked about
std::vector<std::string> reads;

ExpandOps FakeOps()
{
    ExpandOps ops;
    ops.listFolder = [](const char *folder, FolderEntrySink sink, void *context) {
        const std::string prefix = folder;
        if (folders.count(prefix.substr(0, prefix.size() - 1)) == 0)
            return false;
        // The system's own order is no order: the listing comes reversed.
        std::vector<std::pair<std::string, bool>> entries;
        for (const auto &file : files)
            if (file.first.rfind(prefix, 0) == 0 && file.first.find('\\', prefix.size()) == std::string::npos)
                entries.push_back({file.first.substr(prefix.size()), false});
        for (const std::string &f : folders)
            if (f.rfind(prefix, 0) == 0 && f.find('\\', prefix.size()) == std::string::npos)
                entries.push_back({f.substr(prefix.size()), true});
        entries.push_back({".", true});
        for (auto e = entries.rbegin(); e != entries.rend(); ++e)
            sink(e->first.c_str(), e->second, context);
        return true;
    };
    ops.readFile = [](const char *path, unsigned char **bytes, size_t *size) {
        auto file = files.find(path);
        if (file == files.end())
            return false;
        reads.push_back(path);
        *size = file->second.size();
        *bytes = static_cast<unsigned char *>(std::malloc(*size + 1));
        std::memcpy(*bytes, file->second.data(), *size);
        return true;
    };
    ops.isFolder = [](const char *path) {
        folderQuestions.push_back(path);
        std::string p = path;
        if (p.size() > 3 && p.back() == '\\')
            p.pop_back();
        return folders.count(p.size() > 1 && p[1] == ':' ? p : "C:\\start\\" + p) != 0;
    };
    ops.fullPath = [](const char *path, char *out, size_t size) {
        const std::string p = path;
        const std::string full = p.size() > 1 && (p[1] == ':' || p[0] == '\\') ? p : "C:\\start\\" + p;
        return std::snprintf(out, size, "%s", full.c_str()) < static_cast<int>(size);
    };
    ops.isLeadByte = NoLeadBytes;
    return ops;
}

TEST(Expand, PatternCountsOnlyInTheLastElement)
{
    const struct
    {
        const char *argument;
        PatternPlace place;
        LeadByteTest isLeadByte;
    } cases[] = {
        {"C:*.dll", PATTERN_LAST, NoLeadBytes},
        // The long-path and device prefixes hold a '?' and a '.', never a pattern.
        {"\\\\?\\C:\\app\\x.dll", PATTERN_NONE, NoLeadBytes},
        {"\\\\?\\C:\\a*\\x.dll", PATTERN_FOLDER, NoLeadBytes},
        // A double-byte character's second byte is no separator: the pattern is in the last element.
        {"C:\\a*\x95\x5C"
         "b.dll",
         PATTERN_LAST, ShiftJisLead},
        {"C:\\a*\x95\x5C"
         "b.dll",
         PATTERN_FOLDER, NoLeadBytes},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FindPattern(c.argument, c.isLeadByte), c.place) << c.argument;
}

TEST(Expand, PatternMatchesNamesWithoutRegardToCase)
{
    const struct
    {
        const char *pattern;
        const char *name;
        bool matches;
        LeadByteTest isLeadByte;
    } cases[] = {
        {"*.DLL", "grid.Dll", true, NoLeadBytes},
        {"*.dll", "a.dllx", false, NoLeadBytes},
        {"a?.ocx", "ab.ocx", true, NoLeadBytes},
        {"a?.ocx", "a.ocx", false, NoLeadBytes},
        {"*b*c", "abxbbc", true, NoLeadBytes},
        {"**.tlb", ".tlb", true, NoLeadBytes},
        {"*.*", "readme", true, NoLeadBytes},
        // '?' is one character, a double-byte one too; a trail byte is never folded or matched alone.
        {"?.dll", "\x95\x5C.dll", true, ShiftJisLead},
        {"\x95\x5C*", "\x95\x7C.dll", false, ShiftJisLead},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MatchesPattern(c.pattern, c.name, c.isLeadByte), c.matches) << c.pattern << " " << c.name;
}

TEST(Expand, NamesAreOrderedWithoutRegardToCase)
{
    std::vector<const char *> names = {"c.dll", "B.dll", "a.dll", "b.DLL", "a_b.dll", "A.dll"};
    std::sort(names.begin(), names.end(), [](const char *a, const char *b) { return CompareNames(a, b) < 0; });
    const std::vector<std::string> sorted(names.begin(), names.end());
    // Ties in all but case keep a fixed order: by the bytes, upper case first.
    EXPECT_EQ(sorted, (std::vector<std::string>{"A.dll", "a.dll", "a_b.dll", "B.dll", "b.DLL", "c.dll"}));
}

TEST(Expand, FolderTakesTheComponentExtensionsOnly)
{
    const struct
    {
        const char *name;
        bool taken;
    } cases[] = {
        {"b.OCX", true}, {"filter.ax", true}, {"lib.OLB", true}, {"a.exe", false}, {"a.dll.bak", false}, {"a.axe", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HasComponentExtension(c.name, NoLeadBytes), c.taken) << c.name;
}

TEST(Expand, ComponentIsWhatExportsTheModesEntryPointsOrATypeLibrary)
{
    const auto with = [](const char *install, bool noRegister, bool verify) {
        Modes modes = {};
        modes.install = install;
        modes.noRegister = noRegister;
        modes.verify = verify;
        return modes;
    };
    const struct
    {
        const char *what;
        Modes modes;
        bool unregister;
        bool server, registerOnly, installOnly, library;
    } cases[] = {
        {"register", with(nullptr, false, false), false, true, true, false, true},
        {"unregister", with(nullptr, false, false), true, true, false, false, true},
        {"/U /V: what registering writes", with(nullptr, false, true), true, true, true, false, true},
        {"/N /I", with("/I", true, false), false, false, false, true, false},
        {"/I", with("/I", false, false), false, false, false, false, false},
        {"/U /I", with("/I", false, false), true, false, false, false, false},
        {"/N alone: its rows say so", with(nullptr, true, false), false, true, true, false, true},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IsComponentFor(SERVER.data(), SERVER.size(), c.modes, c.unregister), c.server);
        EXPECT_EQ(IsComponentFor(REGISTER_ONLY.data(), REGISTER_ONLY.size(), c.modes, c.unregister), c.registerOnly);
        EXPECT_EQ(IsComponentFor(INSTALL_ONLY.data(), INSTALL_ONLY.size(), c.modes, c.unregister), c.installOnly);
        EXPECT_EQ(IsComponentFor(LIBRARY.data(), LIBRARY.size(), c.modes, c.unregister), c.library);
    }
}

class ExpandTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        files.clear();
        folders.clear();
        folderQuestions.clear();
        reads.clear();
        folders = {"C:\\f", "C:\\f\\sub", "C:\\f\\sub.dll", "C:\\m", "C:\\start", "C:\\start\\g"};
        files["C:\\f\\a.ocx"] = SERVER;
        files["C:\\f\\b.dll"] = SERVER64; // of the other machine: the twin registers it
        files["C:\\f\\plain.dll"] = PLAIN;
        files["C:\\f\\lib.tlb"] = LIBRARY;
        files["C:\\f\\readme.txt"] = TEXT;
        files["C:\\f\\sub\\c.dll"] = SERVER;
        files["C:\\m\\reg.dll"] = SERVER;
        files["C:\\m\\regonly.dll"] = REGISTER_ONLY;
        files["C:\\m\\inst.dll"] = INSTALL_ONLY;
        files["C:\\m\\lib.tlb"] = LIBRARY;
        files["C:\\start\\g\\X.dll"] = SERVER;
    }
    // The expanded arguments after the program's name, and each one's origin.
    std::vector<std::string> Expand(std::vector<const char *> arguments, std::vector<int> *origins = nullptr,
                                    bool unregister = false, std::vector<int> lossy = {})
    {
        arguments.insert(arguments.begin(), "tolvane.exe");
        bool flags[16] = {};
        for (int i : lossy)
            flags[i] = true;
        ExpandedArguments out = {};
        EXPECT_TRUE(ExpandArguments(static_cast<int>(arguments.size()), const_cast<char **>(arguments.data()), flags,
                                    unregister, FakeOps(), &out));
        std::vector<std::string> values;
        for (int i = 1; i < out.count; i++)
        {
            values.push_back(out.values[i]);
            if (origins != nullptr)
                origins->push_back(out.origin[i]);
            EXPECT_EQ(out.unrepresentable[i], out.origin[i] >= 0 && flags[out.origin[i]]) << out.values[i];
        }
        EXPECT_STREQ(out.values[0], "tolvane.exe");
        EXPECT_EQ(out.values[out.count], nullptr);
        FreeExpandedArguments(&out);
        return values;
    }
};

TEST_F(ExpandTest, PatternOrFolderBecomesItsSummaryAndItsComponentsInNameOrder)
{
    const struct
    {
        std::vector<const char *> arguments;
        std::vector<std::string> expanded;
        bool unregister = false; // the run started unregistering
    } cases[] = {
        {{"C:\\f\\*.dll"}, {"/*matched:1:1:C:\\f\\*.dll", "C:\\f\\b.dll"}},
        // A folder: its files of a component's extension, not its subfolders, even one named so.
        {{"C:\\f"}, {"/*matched:3:1:C:\\f", "C:\\f\\a.ocx", "C:\\f\\b.dll", "C:\\f\\lib.tlb"}},
        {{"C:\\f\\*"}, {"/*matched:3:2:C:\\f\\*", "C:\\f\\a.ocx", "C:\\f\\b.dll", "C:\\f\\lib.tlb"}},
        // Relative: from the start folder, the name as the listing gives it.
        {{"g\\*.DLL"}, {"/*matched:1:0:g\\*.DLL", "C:\\start\\g\\X.dll"}},
        // The modes in force at the argument decide; options stay where they stood. /U /V verifies
        // what registering writes.
        {{"C:\\m\\*", "/U", "C:\\m\\*", "/V", "C:\\m\\*"},
         {"/*matched:3:1:C:\\m\\*", "C:\\m\\lib.tlb", "C:\\m\\reg.dll", "C:\\m\\regonly.dll", "/U",
          "/*matched:2:2:C:\\m\\*", "C:\\m\\lib.tlb", "C:\\m\\reg.dll", "/V", "/*matched:3:1:C:\\m\\*",
          "C:\\m\\lib.tlb", "C:\\m\\reg.dll", "C:\\m\\regonly.dll"}},
        {{"/N", "/I:x", "C:\\m\\*.dll"}, {"/N", "/I:x", "/*matched:1:2:C:\\m\\*.dll", "C:\\m\\inst.dll"}},
        {{"C:\\m\\*.dll"}, {"/*matched:1:2:C:\\m\\*.dll", "C:\\m\\reg.dll"}, true},
        // A folder that is not there.
        {{"C:\\gone\\*.dll"}, {"/*matched:0:0:C:\\gone\\*.dll"}},
        {{"C:\\*\\a.ocx"}, {"/*unexpanded:C:\\*\\a.ocx"}},
        // A private argument on the command line was ignored, and still is.
        {{"/*matched:9:0:C:\\f", "-*x", "C:\\f\\a.ocx"}, {"C:\\f\\a.ocx"}},
    };
    for (const auto &c : cases)
    {
        SetUp();
        SCOPED_TRACE(c.arguments.back());
        EXPECT_EQ(Expand(c.arguments, nullptr, c.unregister), c.expanded);
    }
}

TEST_F(ExpandTest, PlainNamesCostNoQuestionUnlessTheyMayNameAFolder)
{
    std::vector<int> origins;
    const std::vector<std::string> expanded =
        Expand({"/S", "C:\\f\\a.ocx", "x.DLL", "tool.exe", "C:\\f\\sub.dll", "nothing", "C:\\f\\sub"}, &origins);
    EXPECT_EQ(expanded, (std::vector<std::string>{"/S", "C:\\f\\a.ocx", "x.DLL", "tool.exe", "C:\\f\\sub.dll",
                                                  "nothing", "/*matched:1:0:C:\\f\\sub", "C:\\f\\sub\\c.dll"}));
    EXPECT_EQ(origins, (std::vector<int>{1, 2, 3, 4, 5, 6, -1, -1}));
    EXPECT_EQ(folderQuestions, (std::vector<std::string>{"nothing", "C:\\f\\sub"}));
    EXPECT_EQ(reads, (std::vector<std::string>{"C:\\f\\sub\\c.dll"}))
        << "only a folder's or a pattern's files are read";

    // An argument the code page cannot hold is neither a pattern nor a folder.
    SetUp();
    origins.clear();
    EXPECT_EQ(Expand({"C:\\f\\?.dll", "C:\\f"}, &origins, false, {1, 2}),
              (std::vector<std::string>{"C:\\f\\?.dll", "C:\\f"}));
    EXPECT_EQ(origins, (std::vector<int>{1, 2}));
    EXPECT_TRUE(folderQuestions.empty());
}

TEST(Expand, PrivateArgumentSaysWhatItsRowNeeds)
{
    const struct
    {
        std::string privateArgument;
        bool parsed;
        bool unexpanded = false;
        int components = 0, skipped = 0;
        const char *argument = nullptr;
    } cases[] = {
        {"/*matched:3:27:C:\\app\\*.dll", true, false, 3, 27, "C:\\app\\*.dll"},
        {"/*matched:0:0:D:a:b*", true, false, 0, 0, "D:a:b*"},
        {"/*unexpanded:C:\\*\\x.dll", true, true, 0, 0, "C:\\*\\x.dll"},
        {"/*matched:3:x.dll", false},
        {"/*matched:-1:0:x.dll", false},
        {"/*rows:1c", false},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.privateArgument);
        ExpansionRow row;
        ASSERT_EQ(ParseExpansionArgument(c.privateArgument.c_str(), &row), c.parsed);
        if (!c.parsed)
            continue;
        EXPECT_EQ(row.unexpanded, c.unexpanded);
        EXPECT_EQ(row.components, c.components);
        EXPECT_EQ(row.skipped, c.skipped);
        EXPECT_STREQ(row.argument, c.argument);
        char *made = c.unexpanded ? MakeUnexpandedArgument(c.argument)
                                  : MakeSummaryArgument(c.components, c.skipped, c.argument);
        EXPECT_EQ(made, c.privateArgument) << "made as it is read";
        EXPECT_EQ(ClassifyArgument(made), ARGUMENT_EXPANSION_ROW);
        std::free(made);
    }
}

} // namespace
