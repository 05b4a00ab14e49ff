// /V: a registration verified against the real registry, which it leaves as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace
{

const char SAMPLE_CLASS_KEY[] = "CLSID\\{6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}";

// Every key and value below HKEY_CLASSES_ROOT\CLSID of the program's own view, one line each.
void ListTree(HKEY key, const std::string &path, std::vector<std::string> *lines)
{
    lines->push_back("[" + path + "]");
    for (DWORD i = 0;; i++)
    {
        char name[16384], data[4096];
        DWORD nameLength = sizeof name, size = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE *>(data), &size) !=
            ERROR_SUCCESS)
            break;
        lines->push_back(std::string(name) + "=" + std::to_string(type) + ":" + std::string(data, size));
    }
    for (DWORD i = 0;; i++)
    {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        ListTree(child, path + "\\" + name, lines);
        RegCloseKey(child);
    }
}

std::vector<std::string> ClassesTree()
{
    std::vector<std::string> lines;
    HKEY classes = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &classes) == ERROR_SUCCESS)
    {
        ListTree(classes, "CLSID", &lines);
        RegCloseKey(classes);
    }
    return lines;
}

// The keys of HKEY_CURRENT_USER\Software: a /V run leaves no scratch key of its own.
std::vector<std::string> SoftwareKeys()
{
    std::vector<std::string> names;
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; i++)
    {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(software, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(software);
    return names;
}

// The sentence for the view of the program under test: its component registers in its own view.
std::string ForPrograms()
{
    return "for " + std::to_string(ProgramBits()) + "-bit programs.";
}

std::string Registered()
{
    return "Registered as it registers itself: 1 class, 3 values; objects created; " + ForPrograms();
}

RunResult RunVerify(const std::string &arguments, const std::string &dir)
{
    RunResult run = RunProgram(arguments, dir);
    EXPECT_TRUE(run.exited) << arguments;
    return run;
}

// Register A and verify it, and with /U /V by its short name (what is left is named); the registry
// exported before and after is the same. A copy B registered over it; unregistered.
TEST(Verify, ARegistrationIsCheckedAgainstTheFileAndTheRegistryIsLeftAsItWas)
{
    const std::string dir = MakeWorkFolder("verify");
    const std::string a = PlaceComponent("sample_server", dir, "a.dll");
    const std::string b = PlaceComponent("sample_server", dir, "b.dll");
    const std::string log = dir + "\\run.log";
    ASSERT_EQ(RunVerify("/S a.dll", dir).exitCode, 0u);

    // Verified: the class names this file, and nothing of the registry changes, nor is left over.
    const std::vector<std::string> classesBefore = ClassesTree();
    const std::vector<std::string> softwareBefore = SoftwareKeys();
    char shortName[MAX_PATH];
    ASSERT_NE(GetShortPathNameA(a.c_str(), shortName, MAX_PATH), 0u);
    RunResult verified = RunVerify(std::string("/S /L:run.log /V a.dll /U /V ") + shortName, dir);
    EXPECT_EQ(verified.exitCode, 0x800700B7u);
    EXPECT_EQ(LogLines(log), (std::vector<std::string>{
                                 "#",
                                 "verify|" + a + "|0x00000000|" + Registered(),
                                 "verify unregistered|" + a + "|0x800700b7|Still registered: 2 keys left: "
                                     "HKEY_CLASSES_ROOT\\" + SAMPLE_CLASS_KEY + ", HKEY_CLASSES_ROOT\\" +
                                     SAMPLE_CLASS_KEY + "\\InprocServer32.",
                             }));
    EXPECT_EQ(ClassesTree(), classesBefore);
    EXPECT_EQ(SoftwareKeys(), softwareBefore);

    // B registered over A: the class names B, and A is not what programs get.
    ASSERT_EQ(RunVerify("/S b.dll", dir).exitCode, 0u);
    DeleteFileA(log.c_str());
    RunResult other = RunVerify("/S /L:run.log /V a.dll b.dll", dir);
    EXPECT_EQ(LogLines(log), (std::vector<std::string>{
                                 "#",
                                 "verify|" + a + "|0x80040154|Class {6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13} names " + b +
                                     ", not this file.",
                                 "verify|" + b + "|0x00000000|" + Registered(),
                             }));
    EXPECT_EQ(other.exitCode, 0u) << "the last row's result";

    // Unregistered: /V says not registered, /U /V says nothing is left.
    ASSERT_EQ(RunVerify("/S /U b.dll", dir).exitCode, 0u);
    DeleteFileA(log.c_str());
    RunResult gone = RunVerify("/S /L:run.log /V a.dll /U /V a.dll", dir);
    EXPECT_EQ(LogLines(log), (std::vector<std::string>{
                                 "#",
                                 "verify|" + a + "|0x80040154|Not registered: 1 class missing.",
                                 "verify unregistered|" + a + "|0x00000000|Not registered: nothing that it "
                                                              "registers is in the registry.",
                             }));
    EXPECT_EQ(gone.exitCode, 0u);
}

} // namespace
