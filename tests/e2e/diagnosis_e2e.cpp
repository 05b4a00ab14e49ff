// Failed rows explained: the dependency that is missing or of the other bitness, and what kind of
// file lacks the entry point; in the row, the log line and the detail message, the code unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace
{

// The row's text: the system's words, then the explanation as a sentence of its own.
std::string Explained(const std::string &text, const std::string &explanation)
{
    return text + (!text.empty() && text.back() != '.' ? ". " : " ") + explanation;
}

TEST(Diagnosis, FailedRowsNameTheirCause)
{
    // Each case in a folder of its own; the run starts in an empty one, as Wine also searches the
    // current folder for dependencies.
    const std::string start = MakeWorkFolder("diagnosis");
    const std::string aMissing = MakeWorkFolder("diagnosis a missing");
    const std::string bMissing = MakeWorkFolder("diagnosis b missing");
    const std::string otherA = MakeWorkFolder("diagnosis other a");
    const std::string kinds = MakeWorkFolder("diagnosis kinds");
    for (const std::string &folder : {aMissing, bMissing, otherA})
        PlaceComponent("diag\\needs_a", folder, "needs_a.dll");
    PlaceComponent("diag\\diag_a", bMissing, "diag_a.dll");
    PlaceComponent("diag_a_other", otherA, "diag_a.dll");
    PlaceComponent("no_entry", kinds, "no_entry.dll");
    PlaceComponent("diag\\class_only", kinds, "class_only.dll");
    ASSERT_TRUE(CopyFileA((BinFolder() + "\\diag\\load.exe").c_str(), (kinds + "\\load.exe").c_str(), FALSE));

    const int bits = ProgramBits();
    const std::string missing = SystemRowText(ERROR_MOD_NOT_FOUND);
    const std::string noEntry = "DllRegisterServer entry point not found";
    const std::string log = start + "\\run.log";
    const RunResult run = RunProgram("/S \"/L:" + log + "\" \"" + aMissing + "\\needs_a.dll\" \"" + bMissing +
                                         "\\needs_a.dll\" \"" + otherA + "\\needs_a.dll\" \"" + kinds +
                                         "\\load.exe\" \"" + kinds + "\\no_entry.dll\" \"" + kinds +
                                         "\\class_only.dll\"",
                                     start);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0xFFFFFFFFu) << "the codes are the system's and the program's own, as without an explanation";
    const std::vector<std::string> expected = {
        "#",
        "register|" + aMissing + "\\needs_a.dll|0x0000007e|" +
            Explained(missing, "diag_a.dll, needed by needs_a.dll, was not found in " + aMissing +
                                   ", the system folder or PATH."),
        "register|" + bMissing + "\\needs_a.dll|0x0000007e|" +
            Explained(missing, "diag_b.dll, needed by diag_a.dll (which needs_a.dll needs), was not found in " +
                                   bMissing + ", the system folder or PATH."),
        "register|" + otherA + "\\needs_a.dll|0x0000007e|" +
            Explained(missing, "diag_a.dll in " + otherA + " is a " + std::to_string(bits == 32 ? 64 : 32) +
                                   "-bit DLL; needs_a.dll needs a " + std::to_string(bits) + "-bit one."),
        "register|" + kinds + "\\load.exe|0xffffffff|" +
            Explained(noEntry, "This is a program, not a component: a COM server in a program registers itself "
                               "with load.exe /RegServer."),
        "register|" + kinds + "\\no_entry.dll|0xffffffff|" + Explained(noEntry, "It is not a COM component."),
        "register|" + kinds + "\\class_only.dll|0xffffffff|" +
            Explained(noEntry, "It is a COM component that does not register itself: its installer writes its keys."),
    };
    EXPECT_EQ(LogLines(log), expected);
}

} // namespace
