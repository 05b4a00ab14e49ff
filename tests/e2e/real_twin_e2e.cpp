// The hand-off between the two real programs, in one WoW64 prefix, where both run: each program,
// given a component of the other machine, runs its real twin beside it, and the component's keys
// land in the registry view of the component's machine. The twin is the other build's program,
// named by TOLVANE_TEST_TWIN_PROGRAM (ctest sets it where this build was given that program: the
// e2e.RealHandOff test). The stand-in twin of the HandOff suite covers what the twin is told.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace
{

const char SAMPLE_CLSID[] = "{6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}";

// The default value of key under HKEY_LOCAL_MACHINE in the registry view of bits; empty when the
// key is not there.
std::string MachineText(int bits, const std::string &key)
{
    HKEY opened = nullptr;
    const REGSAM view = bits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return "";
    char value[1024] = "";
    DWORD size = sizeof value;
    const LONG status = RegGetValueA(opened, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS ? value : "";
}

// The sample server's InprocServer32 in the classes of the view of bits.
std::string ServerInView(int bits)
{
    return MachineText(bits, std::string("Software\\Classes\\CLSID\\") + SAMPLE_CLSID + "\\InprocServer32");
}

// The same key where the system keeps it: the 32-bit classes are under Wow6432Node of the 64-bit view.
std::string ServerStored(int bits)
{
    return MachineText(64, std::string("Software\\Classes\\") + (bits == 32 ? "Wow6432Node\\" : "") + "CLSID\\" +
                               SAMPLE_CLSID + "\\InprocServer32");
}

// Removes the sample server's class from the classes of the view of bits (what a failed run left).
void RemoveServerFromView(int bits)
{
    HKEY classes = nullptr;
    const REGSAM view = bits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID", 0, KEY_ALL_ACCESS | view, &classes) !=
        ERROR_SUCCESS)
        return;
    RegDeleteTreeA(classes, SAMPLE_CLSID);
    RegCloseKey(classes);
}

std::string FileNameOf(const std::string &path)
{
    return path.substr(path.find_last_of("\\/") + 1);
}

// The log's rows (/L) as "<call>|<full path>|<code>".
std::vector<std::string> LoggedRows(const std::string &path)
{
    std::vector<std::string> rows;
    for (const std::string &line : LogLines(path))
        if (line != "#")
            rows.push_back(line.substr(0, line.rfind('|')));
    return rows;
}

TEST(RealHandOff, EachProgramHandsAComponentOfTheOtherMachineToTheRealTwin)
{
    char variable[MAX_PATH] = "";
    if (GetEnvironmentVariableA("TOLVANE_TEST_TWIN_PROGRAM", variable, sizeof variable) == 0)
        GTEST_SKIP() << "TOLVANE_TEST_TWIN_PROGRAM names no twin program: run this as ctest's e2e.RealHandOff";
    const std::string twin = variable;
    ASSERT_NE(ProgramBits(), 0) << ProgramPath();
    ASSERT_EQ(ImageBits(twin), ProgramBits() == 64 ? 32 : 64) << twin << " is not the program of the other machine";
    // The sample server of this build and the one built for the other machine.
    const std::string servers[] = {BinFolder() + "\\sample_server.dll", BinFolder() + "\\sample_server_other.dll"};
    ASSERT_EQ(ImageBits(servers[0]), ProgramBits());
    ASSERT_EQ(ImageBits(servers[1]), ImageBits(twin));

    // One row per direction: the program that is run, and the twin placed beside it.
    const struct
    {
        std::string program;
        std::string twin;
    } rows[] = {{ProgramPath(), twin}, {twin, ProgramPath()}};
    for (const auto &row : rows)
    {
        const int programBits = ImageBits(row.program);
        const int componentBits = ImageBits(row.twin);
        SCOPED_TRACE(FileNameOf(row.program) + " (" + std::to_string(programBits) + "-bit) with " +
                     FileNameOf(row.twin) + " beside it");
        ASSERT_EQ(FileNameOf(row.twin), TwinName(programBits));
        const std::string dir = MakeWorkFolder("real hand-off");
        CreateDirectoryA((dir + "\\c d").c_str(), nullptr);
        const std::string program = dir + "\\" + FileNameOf(row.program);
        ASSERT_TRUE(CopyFileA(row.program.c_str(), program.c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(row.twin.c_str(), (dir + "\\" + FileNameOf(row.twin)).c_str(), FALSE));
        const std::string component = dir + "\\c d\\sample_server.dll";
        ASSERT_TRUE(CopyFileA(servers[componentBits == ProgramBits() ? 0 : 1].c_str(), component.c_str(), FALSE));
        for (int bits : {32, 64})
        {
            RemoveServerFromView(bits);
            ASSERT_EQ(ServerInView(bits), "");
        }

        RunResult registering = RunProgramAt(program, Widen("/S /L:run.log \"" + component + "\""), dir);
        ASSERT_TRUE(registering.exited);
        EXPECT_EQ(registering.exitCode, 0u);
        EXPECT_TRUE(registering.dialogs.empty());
        EXPECT_EQ(LoggedRows(dir + "\\run.log"), std::vector<std::string>{"register|" + component + "|0x00000000"});
        // Only a process of the component's machine can have called it: its keys are in that view alone.
        EXPECT_EQ(ServerInView(componentBits), component);
        EXPECT_EQ(ServerStored(componentBits), component);
        EXPECT_EQ(ServerInView(programBits), "");

        // /V says which programs can use the registration, and a program of the other machine really
        // cannot: its client gets "class not registered".
        RunResult verifying = RunProgramAt(program, Widen("/S /V /L:verify.log \"" + component + "\""), dir);
        ASSERT_TRUE(verifying.exited);
        EXPECT_EQ(verifying.exitCode, 0u);
        const std::vector<std::string> verified = LogLines(dir + "\\verify.log");
        ASSERT_EQ(verified.size(), 2u);
        EXPECT_NE(verified[1].find("for " + std::to_string(componentBits) + "-bit programs."), std::string::npos)
            << verified[1];
        const std::string sameClient = BinFolder() + (componentBits == ProgramBits() ? "\\class_client.exe"
                                                                                      : "\\class_client_other.exe");
        const std::string otherClient = BinFolder() + (componentBits == ProgramBits() ? "\\class_client_other.exe"
                                                                                       : "\\class_client.exe");
        ASSERT_EQ(ImageBits(sameClient), componentBits);
        RunResult same = RunProgramAt(sameClient, Widen(SAMPLE_CLSID), dir);
        ASSERT_TRUE(same.exited);
        EXPECT_EQ(same.exitCode, 0u);
        RunResult other = RunProgramAt(otherClient, Widen(SAMPLE_CLSID), dir);
        ASSERT_TRUE(other.exited);
        EXPECT_EQ(other.exitCode, static_cast<DWORD>(REGDB_E_CLASSNOTREG));

        RunResult unregistering = RunProgramAt(program, Widen("/U /S \"" + component + "\""), dir);
        ASSERT_TRUE(unregistering.exited);
        EXPECT_EQ(unregistering.exitCode, 0u);
        EXPECT_TRUE(unregistering.dialogs.empty());
        EXPECT_EQ(ServerInView(componentBits), "");
        EXPECT_EQ(ServerInView(programBits), "");
    }
}

} // namespace
