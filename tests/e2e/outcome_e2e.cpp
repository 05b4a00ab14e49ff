// A run over one component ends in that component's detail message; silent runs show nothing.
#include <gtest/gtest.h>

#include <cstdio>

#include "e2e_support.h"

namespace
{

const char SUCCESS_TITLE[] = "TolVane 3.1";
const char ERROR_TITLE[] = "Component Registration Error";

// A folder with every test component, and one more in a folder whose name has blanks.
std::string ComponentFolder()
{
    std::string dir = MakeWorkFolder("outcome");
    for (const char *name :
         {"ok", "no_entry", "init_fails", "fail5", "fail31", "fail0", "crash", "cxx_throw", "caught", "thread_crash",
          "exit_process", "filter_crash", "error_mode"})
        PlaceComponent(name, dir, (std::string(name) + ".dll").c_str());
    // "grid" must load itself, not the grid.dll beside it.
    PlaceComponent("fail5", dir, "grid");
    PlaceComponent("ok", dir, "grid.dll");
    PlaceComponent("ok", dir, "locked.dll");
    // uses_dep.dll with the tvdep.dll it imports beside it; the program's folder holds a decoy.
    CreateDirectoryA((dir + "\\dep").c_str(), nullptr);
    PlaceComponent("uses_dep", dir + "\\dep", "uses_dep.dll");
    PlaceComponent("dep\\tvdep", dir + "\\dep", "tvdep.dll");
    CreateDirectoryA((dir + "\\My Components").c_str(), nullptr);
    PlaceComponent("ok", dir + "\\My Components", "Blank Name.ocx");
    WriteTextFile(dir + "\\notamodule.dll", "This is a text file, not a module.\r\n");
    return dir;
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// Replaces {dir} with the work folder, {code} and {hex} with the case's code in decimal and
// hexadecimal, and {sys} with the system's text for it, which names path.
std::string Fill(std::string text, const std::string &dir, uint32_t code, const std::string &path = "")
{
    const std::pair<std::string, std::string> fillers[] = {
        {"{dir}", dir},
        {"{code}", std::to_string(static_cast<int32_t>(code))},
        {"{hex}", Hex(code)},
        {"{sys}", SystemText(code, path)},
        {"{thread site}", ExportOffset(BinFolder() + "\\thread_crash.dll", "CrashSite")},
    };
    for (const auto &filler : fillers)
        for (size_t at = text.find(filler.first); at != std::string::npos; at = text.find(filler.first, at))
        {
            text.replace(at, filler.first.size(), filler.second);
            at += filler.second.size();
        }
    return text;
}

const char SYSTEM_MESSAGE[] =
    "The component you are trying to register '{dir}\\{file}' has returned an error of type {code} (0x{hex}) and the "
    "operating system reports:\n\n{sys}\n\nIf the OS said there was no problem, try to determine what the above "
    "error code means by looking in the documentation for this component as that error message is component "
    "specific.";

std::string SystemMessage(const char *file)
{
    std::string text = SYSTEM_MESSAGE;
    text.replace(text.find("{file}"), 6, file);
    return text;
}

const uint32_t LOAD_ERROR_OF_FILE = 0xFFFFFFF0; // the code is the load error of the case's file

struct OneComponentCase
{
    const char *arguments;
    const char *title;
    std::string text;
    uint32_t code;     // fills {code}, {hex} and {sys}
    uint32_t exitCode; // LOAD_ERROR_OF_FILE: the same as the code
    const char *file;  // the file whose load error is the code, when it is
};

const OneComponentCase ONE_COMPONENT_CASES[] = {
    {"\"{dir}\\ok.dll\"", SUCCESS_TITLE, "The component '{dir}\\ok.dll' has registered successfully.", 0, 0, nullptr},
    {"/U \"{dir}\\ok.dll\"", SUCCESS_TITLE, "The component '{dir}\\ok.dll' has unregistered successfully.", 0, 0,
     nullptr},
    {"\"{dir}\\ok.dll\" -u", SUCCESS_TITLE, "The component '{dir}\\ok.dll' has unregistered successfully.", 0, 0,
     nullptr},
    {"/Unregister \"{dir}\\ok.dll\"", SUCCESS_TITLE, "The component '{dir}\\ok.dll' has unregistered successfully.", 0,
     0, nullptr},
    {"/X -q / \"{dir}\\ok.dll\"", SUCCESS_TITLE, "The component '{dir}\\ok.dll' has registered successfully.", 0, 0,
     nullptr},
    {"\"{dir}\\My Components\\Blank Name.ocx\"", SUCCESS_TITLE,
     "The component '{dir}\\My Components\\Blank Name.ocx' has registered successfully.", 0, 0, nullptr},
    {"\"{dir}\\missing.dll\"", ERROR_TITLE, "The component '{dir}\\missing.dll' could not found on this computer.", 0,
     0xFFFFFFFE, nullptr},
    {"/u \"{dir}\\missing.dll\"", ERROR_TITLE, "The component '{dir}\\missing.dll' could not found on this computer.",
     0, 0xFFFFFFFE, nullptr},
    {"\"{dir}\\no_entry.dll\"", ERROR_TITLE,
     "Tolvane can not find the DllRegisterServer entry point in {dir}\\no_entry.dll. Are you sure it is a "
     "registerable control ?\n\nIt is not a COM component.",
     0, 0xFFFFFFFF, nullptr},
    {"/U \"{dir}\\no_entry.dll\"", ERROR_TITLE,
     "Tolvane can not find the DllUnregisterServer entry point in {dir}\\no_entry.dll. Are you sure it is a "
     "registerable control ?\n\nIt is not a COM component.",
     0, 0xFFFFFFFF, nullptr},
    {"\"{dir}\\notamodule.dll\"", ERROR_TITLE, SystemMessage("notamodule.dll"), LOAD_ERROR_OF_FILE, LOAD_ERROR_OF_FILE,
     "notamodule.dll"},
    {"\"{dir}\\init_fails.dll\"", ERROR_TITLE, SystemMessage("init_fails.dll"), LOAD_ERROR_OF_FILE, LOAD_ERROR_OF_FILE,
     "init_fails.dll"},
    {"\"{dir}\\fail5.dll\"", ERROR_TITLE, SystemMessage("fail5.dll"), 5, 0x80070005, nullptr},
    {"/U \"{dir}\\fail5.dll\"", ERROR_TITLE, SystemMessage("fail5.dll"), 5, 0x80070005, nullptr},
    {"\"{dir}\\fail31.dll\"", ERROR_TITLE,
     "The loading process for {dir}\\fail31.dll has failed with an error code of 31 (0x1F). (the DllRegisterServer "
     "entry point was not even called - LoadLibrary() failed) Microsoft's explanation for this error is 'A device "
     "attached to the system is not functioning' This can mean several things:\n\n1. One of the components that "
     "this component needs is missing.\n\n2. One of the components that this component needs returned a result code "
     "of 31 (0x1F).\n\n3. This error is also returned when a corrupted or invalid component is passed to "
     "TolVane.\n\n",
     31, 0x8007001F, nullptr},
    // An entry point that fails and leaves the last-error value at 0 is reported with its own result.
    {"\"{dir}\\fail0.dll\"", ERROR_TITLE, SystemMessage("fail0.dll"), 0x80040154, 0x80040154, nullptr},
    // A crash on a thread the component started: that thread ended, and where it crashed named.
    {"\"{dir}\\thread_crash.dll\"", ERROR_TITLE,
     "The component you are trying to register '{dir}\\thread_crash.dll' has returned an error of type -1073741819 "
     "(0xc0000005) and the operating system reports:\n\nThe component crashed on another thread: access violation "
     "(0xC0000005) at thread_crash.dll+0x{thread site}\n\nIf the OS said there was no problem, try to determine "
     "what the above error code means by looking in the documentation for this component as that error message is "
     "component specific.",
     0, 0xC0000005, nullptr},
};

TEST(OneComponent, ShowsItsDetailMessageAndExitsWithTheEntryPointResult)
{
    std::string dir = ComponentFolder();
    for (const OneComponentCase &c : ONE_COMPONENT_CASES)
    {
        std::string arguments = Fill(c.arguments, dir, 0);
        SCOPED_TRACE(arguments);
        uint32_t code = c.code == LOAD_ERROR_OF_FILE ? LoadError(dir + "\\" + c.file) : c.code;
        uint32_t exitCode = c.exitCode == LOAD_ERROR_OF_FILE ? code : c.exitCode;
        if (c.file != nullptr)
        {
            ASSERT_NE(code, 0u) << c.file << " loads, but the case needs a load failure";
        }

        RunResult run = RunProgram(arguments, dir);
        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.exited);
        ASSERT_EQ(run.dialogs.size(), 1u);
        EXPECT_EQ(run.dialogs[0].title, c.title);
        EXPECT_EQ(run.dialogs[0].text, Fill(c.text, dir, code, c.file != nullptr ? dir + "\\" + c.file : ""));
        EXPECT_EQ(run.exitCode, exitCode);
    }
}

// The pixels of an icon drawn at 32 x 32 on the dialog colour.
std::vector<DWORD> IconPixels(HICON icon)
{
    std::vector<DWORD> pixels(32 * 32, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all = {0, 0, 32, 32};
    FillRect(memory, &all, GetSysColorBrush(COLOR_3DFACE));
    DrawIconEx(memory, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            pixels[y * 32 + x] = GetPixel(memory, x, y);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

TEST(OneComponent, MessageBoxIsSystemModalWithTheInformationIcon)
{
    std::string dir = ComponentFolder();
    LONG_PTR extendedStyle = 0;
    std::vector<DWORD> shown;
    RunResult run = RunProgram("\"" + dir + "\\ok.dll\"", dir, [&](HWND box) {
        extendedStyle = GetWindowLongPtrA(box, GWL_EXSTYLE);
        HWND iconControl = GetDlgItem(box, 0x0440);
        if (iconControl != nullptr)
        {
            Capture capture = CaptureClient(iconControl);
            for (int y = 0; y < 32 && y < capture.height; y++)
                for (int x = 0; x < 32 && x < capture.width; x++)
                    shown.push_back(capture.pixels[static_cast<size_t>(y) * capture.width + x]);
        }
        PressButton(box, IDOK);
    });
    ASSERT_TRUE(run.exited);
    EXPECT_NE(extendedStyle & WS_EX_TOPMOST, 0) << "a system-modal box stays on top";
    ASSERT_EQ(shown.size(), 32u * 32u) << "the box shows an icon";
    // The icon on screen is the one of the four system icons that it matches best.
    const LPCSTR icons[] = {IDI_INFORMATION, IDI_HAND, IDI_EXCLAMATION, IDI_QUESTION};
    size_t best = 0;
    size_t bestMatches = 0;
    for (size_t i = 0; i < 4; i++)
    {
        std::vector<DWORD> drawn = IconPixels(LoadIconA(nullptr, icons[i]));
        size_t matches = 0;
        for (size_t p = 0; p < drawn.size(); p++)
            matches += drawn[p] == shown[p];
        if (matches > bestMatches)
        {
            best = i;
            bestMatches = matches;
        }
    }
    EXPECT_EQ(best, 0u) << "expected the information icon; " << bestMatches << " pixels match icon " << best;
    EXPECT_GT(bestMatches, 1000u) << "the icon on screen is drawn as the system draws it";
}

TEST(OneComponent, NameLongerThanAPathIsNeverLoaded)
{
    std::string dir = ComponentFolder();
    std::string name = dir + "\\" + std::string(300, 'a') + ".dll";
    RunResult run = RunProgram("\"" + name + "\"", dir);
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.dialogs.size(), 1u);
    EXPECT_EQ(run.dialogs[0].title, ERROR_TITLE);
    std::string shown = name.substr(0, 259);
    std::string expected = "The component you are trying to register '" + shown +
                           "' has returned an error of type 206 (0xce) and the operating system reports:\n\n" +
                           SystemText(206) +
                           "\n\nIf the OS said there was no problem, try to determine what the above error code "
                           "means by looking in the documentation for this component as that error message is "
                           "component specific.";
    EXPECT_EQ(run.dialogs[0].text, expected);
    EXPECT_EQ(run.exitCode, 206u);
}

struct SilentCase
{
    const char *arguments;
    uint32_t exitCode;
};

const SilentCase SILENT_CASES[] = {
    {"/S \"{dir}\\ok.dll\"", 0},
    {"\"{dir}\\ok.dll\" /S", 0},
    {"-s /u \"{dir}\\ok.dll\"", 0},
    {"/Silent \"{dir}\\fail5.dll\"", 0x80070005},
    {"/S \"{dir}\\missing.dll\"", 0xFFFFFFFE},
    {"/S \"{dir}\\no_entry.dll\"", 0xFFFFFFFF},
    {"/S \"{dir}\\fail0.dll\"", 0x80040154},
    // The exit code is the last called entry point's result, not the last row's code.
    {"/S \"{dir}\\fail5.dll\" \"{dir}\\missing.dll\"", 0x80070005},
    {"/S \"{dir}\\ok.dll\" \"{dir}\\no_entry.dll\"", 0},
    // With no entry point called at all, the last row's code.
    {"/S \"{dir}\\no_entry.dll\" \"{dir}\\missing.dll\"", 0xFFFFFFFE},
    {"/S", 0},
    {"/S /U /X", 0},
    // An exception the component leaves unhandled is its call's result; one it handles passes by.
    {"/S \"{dir}\\crash.dll\"", 0xC0000005},
    {"/S \"{dir}\\cxx_throw.dll\"", 0xE06D7363},
    {"/S \"{dir}\\caught.dll\"", 0},
    {"/S \"{dir}\\crash.dll\" \"{dir}\\missing.dll\"", 0xC0000005},
    // Exactly the file named, and the DLLs it imports from its own folder first.
    {"/S \"{dir}\\grid\"", 0x80070005},
    {"/S \"{dir}\\dep\\uses_dep.dll\"", 0},
    // A folder stands for the components in it; a file that is there but locked fails in the load,
    // not as missing.
    {"/S \"{dir}\\My Components\"", 0},
    {"/S \"{dir}\\locked.dll\"", ERROR_SHARING_VIOLATION},
    // A crash on a thread the component started is its call's result.
    {"/S \"{dir}\\thread_crash.dll\"", 0xC0000005},
    // A component that ends the process: in the first process its code is all there is; in the
    // process that runs the rest after a crash, its row keeps that code.
    {"/S \"{dir}\\exit_process.dll\" \"{dir}\\ok.dll\"", 7},
    {"/S \"{dir}\\crash.dll\" \"{dir}\\exit_process.dll\"", 7},
    {"/S \"{dir}\\crash.dll\" \"{dir}\\exit_process.dll\" \"{dir}\\missing.dll\"", 7},
    // Devices and blank names are not found, and never opened.
    {"/S CON", 0xFFFFFFFE},
    {"/S \"{dir}\\CON.dll\"", 0xFFFFFFFE},
    {"/S \"{dir}\\nul\"", 0xFFFFFFFE},
    {"/S \"   \"", 0xFFFFFFFE},
    // A "\\?\" path is exact already: no trailing dot is added to a name without an extension.
    {"/S \"\\\\?\\{dir}\\grid\"", 0x80070005},
};

TEST(Silent, ShowsNothingAndExitsWithTheResult)
{
    std::string dir = ComponentFolder();
    ASSERT_NE(GetFileAttributesA((BinFolder() + "\\tvdep.dll").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the decoy beside the program";
    // Held open with no sharing while the cases run.
    HANDLE locked = CreateFileA((dir + "\\locked.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    for (const SilentCase &c : SILENT_CASES)
    {
        std::string arguments = Fill(c.arguments, dir, 0);
        SCOPED_TRACE(arguments);
        RunResult run = RunProgram(arguments, dir);
        ASSERT_TRUE(run.exited);
        EXPECT_TRUE(run.dialogs.empty()) << "first: " << (run.dialogs.empty() ? "" : run.dialogs[0].title);
        EXPECT_EQ(run.exitCode, c.exitCode);
    }
    CloseHandle(locked);
}

// A crash that nothing in the program can catch (the component replaced the guard's filter in the
// same call) ends the run with its exception code, and never with a box that waits: the system is
// told to show none. (Wine 8 starts its debugger whatever the error mode says; this prefix has its
// crash dialog switched off.)
TEST(Silent, CrashBeyondTheGuardEndsTheRunWithoutABox)
{
    std::string dir = ComponentFolder();
    const struct
    {
        const char *arguments;
        uint32_t exitCode;
    } cases[] = {
        {"/S \"{dir}\\filter_crash.dll\" \"{dir}\\ok.dll\"", 0xC0000005},
        // SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX, as a component sees it.
        {"/S \"{dir}\\error_mode.dll\"", 0x20008003},
    };
    for (const auto &c : cases)
    {
        RunResult run = RunProgram(Fill(c.arguments, dir, 0), dir);
        ASSERT_TRUE(run.exited) << c.arguments;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_TRUE(run.dialogs.empty()) << c.arguments;
    }
}

TEST(Startup, EmptyCommandLineAndOptionsOnlyShowTheAboutDialog)
{
    std::string dir = ComponentFolder();
    for (const char *arguments : {"", "/U", "/X -u"})
    {
        SCOPED_TRACE(arguments);
        RunResult run = RunProgram(arguments, dir);
        ASSERT_TRUE(run.exited);
        ASSERT_EQ(run.dialogs.size(), 1u);
        EXPECT_EQ(run.dialogs[0].title, "About TolVane");
        EXPECT_EQ(run.exitCode, 0u);
    }
}

} // namespace
