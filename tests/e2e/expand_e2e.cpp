// Folders and patterns on the command line: the rows of the components they stand for, in name
// order, after one summary row each; files that are no component are never loaded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace
{

// The lines the logging component wrote: "<call>|<module path>", less the current folder.
std::vector<std::string> Calls(const std::string &path)
{
    std::vector<std::string> calls;
    for (const std::string &line : ReadLines(path))
        calls.push_back(line.substr(0, line.rfind('|')));
    return calls;
}

std::string Row(const std::string &call, const std::string &path, const char *code, const std::string &text)
{
    return call + "|" + path + "|" + code + "|" + text;
}

class ExpandE2e : public ::testing::Test
{
  protected:
    std::string dir, f, sub;
    void SetUp() override
    {
        // f: two components, a plain DLL, a type library, a text file and a subfolder with components.
        dir = MakeWorkFolder("expand");
        f = dir + "\\f";
        sub = f + "\\sub";
        ASSERT_TRUE(CreateDirectoryA(f.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
        PlaceComponent("ok", f, "a.ocx");
        PlaceComponent("ok", f, "b.dll");
        PlaceComponent("plain_marker", f, "plain.dll");
        const std::string library = BinFolder() + "\\tl" + std::to_string(ProgramBits()) + ".tlb";
        ASSERT_TRUE(CopyFileA(library.c_str(), (f + "\\lib.tlb").c_str(), FALSE));
        ASSERT_TRUE(WriteTextFile(f + "\\readme.txt", "DllRegisterServer\r\n"));
        PlaceComponent("ok", sub, "c.dll");
        PlaceComponent("ok", sub, "z.ocx");
        SetEnvironmentVariableA("TOLVANE_TEST_LOG", (dir + "\\calls.log").c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("TOLVANE_TEST_LOG", nullptr);
        SetEnvironmentVariableA("TOLVANE_TEST_CHDIR", nullptr);
        EXPECT_EQ(GetFileAttributesA((f + "\\plain.dll.ran").c_str()), INVALID_FILE_ATTRIBUTES)
            << "the plain DLL's code never ran";
    }
};

TEST_F(ExpandE2e, PatternAndFolderGiveTheirComponentsInNameOrderAfterASummary)
{
    // Registered, then unregistered: /U calls DllUnregisterServer for what a pattern stands for. A
    // pattern that matches nothing is not found; one in a folder's name is not expanded.
    const std::string none = f + "\\*.xyz", inFolder = dir + "\\*\\a.ocx";
    const RunResult run = RunProgram("/S \"/L:" + dir + "\\run.log\" \"" + f + "\\*.dll\" \"" + f + "\" \"" + f +
                                         "\\*\" \"" + none + "\" \"" + inFolder + "\" /U \"" + f + "\\*.dll\"",
                                     dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0u);
    const std::string ok = "Registered successfully";
    const std::vector<std::string> expected = {
        "#",
        Row("register", f + "\\*.dll", "0x00000000", "1 component; 1 other file skipped (not self-registering)"),
        Row("register", f + "\\b.dll", "0x00000000", ok),
        Row("register", f, "0x00000000", "3 components; 1 other file skipped (not self-registering)"),
        Row("register", f + "\\a.ocx", "0x00000000", ok),
        Row("register", f + "\\b.dll", "0x00000000", ok),
        Row("register", f + "\\lib.tlb", "0x00000000", ok),
        Row("register", f + "\\*", "0x00000000", "3 components; 2 other files skipped (not self-registering)"),
        Row("register", f + "\\a.ocx", "0x00000000", ok),
        Row("register", f + "\\b.dll", "0x00000000", ok),
        Row("register", f + "\\lib.tlb", "0x00000000", ok),
        Row("register", none, "0xfffffffe", "The component '" + none + "' could not found on this computer."),
        Row("register", inFolder, "0x0000007b",
            "TolVane expands '*' and '?' in a file's name only, not in the name of a folder: nothing was loaded."),
        Row("unregister", f + "\\*.dll", "0x00000000", "1 component; 1 other file skipped (not self-registering)"),
        Row("unregister", f + "\\b.dll", "0x00000000", "Unregistered successfully"),
    };
    EXPECT_EQ(LogLines(dir + "\\run.log"), expected);
    const std::string a = "register|" + f + "\\a.ocx", b = "register|" + f + "\\b.dll";
    EXPECT_EQ(Calls(dir + "\\calls.log"), (std::vector<std::string>{b, a, b, a, b, "unregister|" + f + "\\b.dll"}))
        << "nothing in the subfolder, nothing for what is not found";
}

TEST_F(ExpandE2e, ComponentThatMovesTheCurrentFolderChangesNothingALaterPatternStandsFor)
{
    PlaceComponent("chdir", dir, "chdir.dll");
    SetEnvironmentVariableA("TOLVANE_TEST_CHDIR", sub.c_str());
    const RunResult run = RunProgram("/S \"/L:" + dir + "\\run.log\" \"" + dir + "\\chdir.dll\" *.ocx", f);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(
        LogLines(dir + "\\run.log"),
        (std::vector<std::string>{"#", Row("register", dir + "\\chdir.dll", "0x00000000", "Registered successfully"),
                                  Row("register", "*.ocx", "0x00000000", "1 component"),
                                  Row("register", f + "\\a.ocx", "0x00000000", "Registered successfully")}));
}

// A component of the other machine in a folder counts as one, and goes to the twin (here none is
// beside the program, so its row names it).
TEST(ExpandOtherMachine, ComponentOfTheOtherMachineGoesToTheTwin)
{
    const std::string dir = MakeWorkFolder("expand other machine");
    PlaceComponent("ok", dir, "v.dll");
    PlaceComponent("ok_other", dir, "w.dll");
    ASSERT_EQ(ImageBits(dir + "\\w.dll"), ProgramBits() == 32 ? 64 : 32);
    const RunResult run = RunProgram("/S \"/L:" + dir + "\\run.log\" \"" + dir + "\\*.dll\"", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0u) << "the last called entry point's result";
    const std::vector<std::string> expected = {
        "#",
        Row("register", dir + "\\*.dll", "0x00000000", "2 components"),
        Row("register", dir + "\\v.dll", "0x00000000", "Registered successfully"),
        Row("register", dir + "\\w.dll", "0x000000c1",
            "This is a " + std::to_string(ProgramBits() == 32 ? 64 : 32) + "-bit component; " + TwinName() +
                " beside this program registers it."),
    };
    EXPECT_EQ(LogLines(dir + "\\run.log"), expected);
}

} // namespace
