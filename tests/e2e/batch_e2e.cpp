// The batch: which components are called, in which mode, from which folder, with what result.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>
#include <ole2.h>

#include "e2e_support.h"

namespace
{

struct LoggedCall
{
    std::string mode;
    std::string module;
    std::string folder;
};

std::vector<LoggedCall> ReadCalls(const std::string &logPath)
{
    std::vector<LoggedCall> calls;
    for (const std::string &line : ReadLines(logPath))
    {
        size_t first = line.find('|');
        size_t second = line.find('|', first + 1);
        calls.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1), line.substr(second + 1)});
    }
    return calls;
}

// Runs the program silently with the log of the logging component in dir.
template <typename Arguments>
std::vector<LoggedCall> RunLogged(const Arguments &arguments, const std::string &dir, DWORD *exitCode)
{
    std::string logPath = dir + "\\calls.log";
    DeleteFileA(logPath.c_str());
    SetEnvironmentVariableA("TOLVANE_TEST_LOG", logPath.c_str());
    RunResult run = RunProgram(arguments, dir);
    SetEnvironmentVariableA("TOLVANE_TEST_LOG", nullptr);
    EXPECT_TRUE(run.exited);
    EXPECT_TRUE(run.dialogs.empty());
    *exitCode = run.exitCode;
    return ReadCalls(logPath);
}

struct BatchCase
{
    const char *arguments; // {dir} is the work folder, which is also the current folder
    std::vector<LoggedCall> calls;
};

TEST(Batch, CallsEachComponentInOrderFromItsOwnFolder)
{
    std::string dir = MakeWorkFolder("batch");
    for (const char *sub : {"\\a", "\\b", "\\b\\c"})
        CreateDirectoryA((dir + sub).c_str(), nullptr);
    PlaceComponent("ok", dir, "ok.dll");
    PlaceComponent("ok", dir + "\\a", "ok.dll");
    PlaceComponent("ok", dir + "\\b", "two.ocx");
    PlaceComponent("ok", dir + "\\b\\c", "ok.dll");
    PlaceComponent("crash", dir, "crash.dll");
    PlaceComponent("overflow", dir, "overflow.dll");
    for (const char *name : {"chdir", "filter_null", "filter_own", "thread_crash", "heap_lock", "loader_lock",
                             "threaded_ok", "exit_process"})
        PlaceComponent(name, dir, (std::string(name) + ".dll").c_str());
    // chdir.dll moves the current folder to one that holds another ok.dll.
    SetEnvironmentVariableA("TOLVANE_TEST_CHDIR", (dir + "\\b\\c").c_str());

    const BatchCase cases[] = {
        {"/S \"{dir}\\a\\ok.dll\" \"{dir}\\b\\two.ocx\"",
         {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}, {"register", "{dir}\\b\\two.ocx", "{dir}\\b"}}},
        // /U changes the mode of the components after it only.
        {"/S \"{dir}\\a\\ok.dll\" /U \"{dir}\\b\\two.ocx\"",
         {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}, {"unregister", "{dir}\\b\\two.ocx", "{dir}\\b"}}},
        // The same file twice is loaded and called twice.
        {"\"{dir}\\a\\ok.dll\" /S \"{dir}\\a\\ok.dll\"",
         {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}, {"register", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        // Failures do not stop the batch.
        {"/S \"{dir}\\missing.dll\" \"{dir}\\a\\ok.dll\"", {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        // Relative names are taken from the folder the run started in, also after another
        // component's folder became the current one.
        {"/S a\\ok.dll \"{dir}\\b\\two.ocx\" b\\c\\ok.dll .\\ok.dll",
         {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"},
          {"register", "{dir}\\b\\two.ocx", "{dir}\\b"},
          {"register", "{dir}\\b\\c\\ok.dll", "{dir}\\b\\c"},
          {"register", "{dir}\\ok.dll", "{dir}"}}},
        // A component that crashes ends its own call, not the run; a stack overflow too, twice.
        {"/S \"{dir}\\a\\ok.dll\" \"{dir}\\crash.dll\" \"{dir}\\b\\two.ocx\"",
         {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}, {"register", "{dir}\\b\\two.ocx", "{dir}\\b"}}},
        {"/S \"{dir}\\overflow.dll\" \"{dir}\\overflow.dll\" \"{dir}\\a\\ok.dll\"",
         {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        // A relative name is taken from the start folder also after a component moved the folder itself.
        {"/S chdir.dll ok.dll", {{"register", "{dir}\\ok.dll", "{dir}"}}},
        // A component that clears the crash guard's filter, or leaves its own behind and is unloaded,
        // changes nothing for a crash after it.
        {"/S filter_null.dll crash.dll a\\ok.dll", {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        {"/S filter_own.dll crash.dll a\\ok.dll", {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        // A crash on a thread of the component's own ends that thread, not the run.
        {"/S thread_crash.dll a\\ok.dll", {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        // A crash that leaves a lock held: the components after it run in a fresh process, where
        // their threads start and use the heap.
        {"/S heap_lock.dll threaded_ok.dll", {{"register", "{dir}\\threaded_ok.dll", "{dir}"}}},
        {"/S loader_lock.dll threaded_ok.dll", {{"register", "{dir}\\threaded_ok.dll", "{dir}"}}},
        // A component that ends the fresh process costs only its own row.
        {"/S crash.dll exit_process.dll a\\ok.dll /U b\\two.ocx",
         {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}, {"unregister", "{dir}\\b\\two.ocx", "{dir}\\b"}}},
        // DllInstall with /I, in the order that undoes a registration; /N leaves out the other call.
        {"/S /I:user a\\ok.dll",
         {{"register", "{dir}\\a\\ok.dll", "{dir}\\a"}, {"DllInstall(TRUE, \"user\")", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        {"/S /U /I a\\ok.dll",
         {{"DllInstall(FALSE, \"\")", "{dir}\\a\\ok.dll", "{dir}\\a"}, {"unregister", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        {"/s /u /n /i:user a\\ok.dll", {{"DllInstall(FALSE, \"user\")", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        {"/S \"/I:two words\" /N a\\ok.dll", {{"DllInstall(TRUE, \"two words\")", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
        // The rest of a batch after a crash goes on in the same modes.
        {"/S crash.dll /N \"/I:two words\" a\\ok.dll",
         {{"DllInstall(TRUE, \"two words\")", "{dir}\\a\\ok.dll", "{dir}\\a"}}},
    };
    for (const BatchCase &c : cases)
    {
        std::string arguments = ReplaceAll(c.arguments, "{dir}", dir);
        SCOPED_TRACE(arguments);
        DWORD exitCode = 1;
        std::vector<LoggedCall> calls = RunLogged(arguments, dir, &exitCode);
        ASSERT_EQ(calls.size(), c.calls.size());
        for (size_t i = 0; i < calls.size(); i++)
        {
            EXPECT_EQ(calls[i].mode, c.calls[i].mode) << "call " << i;
            EXPECT_EQ(calls[i].module, ReplaceAll(c.calls[i].module, "{dir}", dir)) << "call " << i;
            EXPECT_EQ(calls[i].folder, ReplaceAll(c.calls[i].folder, "{dir}", dir)) << "call " << i;
        }
        EXPECT_EQ(exitCode, 0u);
    }
    SetEnvironmentVariableA("TOLVANE_TEST_CHDIR", nullptr);
}

// A bare name must load the file in the current folder, never a module of the same name that
// the DLL search order finds first (the program's own folder holds another ok.dll).
TEST(Batch, BareNameLoadsTheFileThatWasFound)
{
    std::string dir = MakeWorkFolder("bare");
    PlaceComponent("ok", dir, "ok.dll");
    ASSERT_NE(GetFileAttributesA((BinFolder() + "\\ok.dll").c_str()), INVALID_FILE_ATTRIBUTES);
    for (const char *name : {"ok.dll", ".\\ok.dll", "OK.DLL"})
    {
        SCOPED_TRACE(name);
        DWORD exitCode = 1;
        std::vector<LoggedCall> calls = RunLogged(std::string("/S ") + name, dir, &exitCode);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, calls[0].module.c_str(), -1,
                                 (dir + "\\ok.dll").c_str(), -1),
                  CSTR_EQUAL)
            << calls[0].module;
        EXPECT_EQ(exitCode, 0u);
    }
}

// A fullwidth quotation mark (U+FF02) that a best-fit conversion would turn into a real one,
// splitting the name into "...\q" and "ok.dll": the name is one argument, and it is not loaded.
TEST(Batch, NameTheCodePageCannotHoldIsNeitherSplitNorLoaded)
{
    std::string dir = MakeWorkFolder("fullwidth");
    PlaceComponent("ok", dir, "ok.dll");
    const std::wstring name = Widen(dir) + L"\\q\xFF02 ok.dll";
    ASSERT_TRUE(CopyFileW(Widen(BinFolder() + "\\ok.dll").c_str(), name.c_str(), FALSE));
    // A code page that does hold the character (Japanese, say) passes the one name on as it is.
    BOOL lossy = FALSE;
    char ansi[8];
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, L"\xFF02", 1, ansi, sizeof ansi, nullptr, &lossy);
    DWORD exitCode = 1;
    std::vector<LoggedCall> calls = RunLogged(L"/S \"" + name + L"\"", dir, &exitCode);
    if (lossy)
    {
        EXPECT_TRUE(calls.empty()) << calls.size() << " calls, the first " << calls[0].module;
        EXPECT_EQ(exitCode, static_cast<DWORD>(ERROR_INVALID_NAME));
    }
    else
    {
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_NE(calls[0].module.find(" ok.dll"), std::string::npos) << calls[0].module;
        EXPECT_EQ(exitCode, 0u);
    }
}

// Far more components than the least the table must hold: none is dropped.
TEST(Batch, SixHundredComponentsAreAllProcessed)
{
    std::string dir = MakeWorkFolder("many");
    PlaceComponent("ok", dir, "ok.dll");
    std::string arguments = "/S";
    for (int i = 0; i < 600; i++)
        arguments += " ok.dll";
    DWORD exitCode = 1;
    std::vector<LoggedCall> calls = RunLogged(arguments, dir, &exitCode);
    EXPECT_EQ(calls.size(), 600u);
    EXPECT_EQ(exitCode, 0u);
}

// The hand-off of a component built for the other machine to the twin beside the program. The
// twin is the stand-in, which logs its command line, folder and TOLVANE_HANDED_OFF, reports the
// row a case chooses (or none) and exits with the code it chooses.
struct HandOffCase
{
    const char *program;   // in {dir}: the program's copy that is run
    bool twin;             // a twin is beside it
    const char *twinRow;   // "<code>|<kind>|<result>|<text>" that the twin reports; null: none
    const char *twinExit;  // the twin's exit code
    const char *handedOff; // TOLVANE_HANDED_OFF in the user's environment (null: not set)
    const char *arguments; // {c} is the other machine's component, {dir} the folder
    std::vector<std::string> twinCalls;
    uint32_t exitCode;
    const char *message; // the detail message, for a run that is not silent; {own} is the twin's text
};

const char OWN_TEXT_MESSAGE[] =
    "The component you are trying to register '{c}' has returned an error of type {code} (0x{hex}) and the "
    "operating system reports:\n\n{text}\n\nIf the OS said there was no problem, try to determine what the above "
    "error code means by looking in the documentation for this component as that error message is component "
    "specific.";

std::string FillHandOff(const std::string &text, const std::string &dir, const std::string &component)
{
    return ReplaceAll(ReplaceAll(text, "{c}", component), "{dir}", dir);
}

std::string OwnTextMessage(const std::string &component, uint32_t code, const std::string &text)
{
    std::string message = OWN_TEXT_MESSAGE;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", code);
    for (const auto &filler : {std::make_pair(std::string("{c}"), component),
                               std::make_pair(std::string("{code}"), std::to_string(static_cast<int32_t>(code))),
                               std::make_pair(std::string("{hex}"), std::string(hex)),
                               std::make_pair(std::string("{text}"), text)})
        message.replace(message.find(filler.first), filler.first.size(), filler.second);
    return message;
}

TEST(HandOff, ComponentOfTheOtherMachineGoesToTheTwin)
{
    ASSERT_NE(ProgramBits(), 0) << ProgramPath() << " is no x86 or x64 program";
    const std::string twinName = TwinName();
    const std::string otherMachine = ProgramBits() == 64 ? "32-bit" : "64-bit";
    const std::string noTwin =
        "This is a " + otherMachine + " component; " + twinName + " beside this program registers it.";
    const std::string program = std::string(TOLVANE_PROGRAM_NAME);
    const std::string twinCall = "\"{dir}\\" + twinName + "\" /*rows:#:twin /S \"{c}\"|{dir}\\c d|";
    const std::string twinUnregisterCall = "\"{dir}\\" + twinName + "\" /*rows:#:twin /S /U \"{c}\"|{dir}\\c d|";
    // A run with a person there: the twin is not told /S, and answers no window of the component's.
    const std::string twinCallWithAPerson = "\"{dir}\\" + twinName + "\" /*rows:#:twin \"{c}\"|{dir}\\c d|";
    const std::string crash = "The component crashed: access violation (0xC0000005) at ok_other.dll+0x1370";
    const std::string crashRow = "0xC0000005|2|0xC0000005|" + crash;
    const std::string ended = "The TolVane process that handled this component ended before it reported the outcome, "
                              "with exit code 0xC0000005: the component ended it, or crashed beyond recovery.";
    const HandOffCase cases[] = {
        {program.c_str(), true, "0|0|0|Registered successfully", "0", nullptr, "/S \"{c}\"", {twinCall}, 0, nullptr},
        {program.c_str(),
         true,
         "0|0|0|Unregistered successfully",
         "0",
         nullptr,
         "/U /S \"{c}\"",
         {twinUnregisterCall},
         0,
         nullptr},
        // The twin's row is the component's, and its result the entry point's.
        {program.c_str(),
         true,
         "5|1|0x80070005|Access is denied",
         "0x80070005",
         nullptr,
         "/S \"{c}\"",
         {twinCall},
         0x80070005,
         nullptr},
        // A crash in the twin keeps its words, with the module and the offset.
        {program.c_str(), true, crashRow.c_str(), "0", nullptr, "\"{c}\"", {twinCallWithAPerson}, 0xC0000005, "{own}"},
        // A twin that ends without a row: its exit code, and words that say so.
        {program.c_str(), true, nullptr, "0xC0000005", nullptr, "\"{c}\"", {twinCallWithAPerson}, 0xC0000005,
         "{ended}"},
        // The twin starts in the modes of the run.
        {program.c_str(),
         true,
         "0|0|0|Registered successfully",
         "0",
         nullptr,
         "/S /N \"/I:a user\" \"{c}\"",
         {"\"{dir}\\" + twinName + "\" /*rows:#:twin /S \"/I:a user\" /N \"{c}\"|{dir}\\c d|"},
         0,
         nullptr},
        // A manifest's folder goes to the twin as a full path: the twin starts in the component's folder.
        {program.c_str(),
         true,
         "0|0|0|Registered successfully",
         "0",
         nullptr,
         "/S /M:out \"{c}\"",
         {"\"{dir}\\" + twinName + "\" /*rows:#:twin /S /M:{dir}\\out \"{c}\"|{dir}\\c d|"},
         0,
         nullptr},
        // Nothing in the user's environment switches the hand-off off.
        {program.c_str(), true, "0|0|0|Registered successfully", "0", "0", "/S \"{c}\"", {twinCall + "0"}, 0, nullptr},
        // No twin: plain words, code 193.
        {program.c_str(), false, nullptr, "0", nullptr, "\"{c}\"", {}, 193, "{none}"},
        // A copy of the program named after its twin never starts itself.
        {twinName.c_str(), false, nullptr, "0", nullptr, "\"{c}\"", {}, 193, "{none}"},
    };
    for (const HandOffCase &c : cases)
    {
        std::string dir = MakeWorkFolder("handoff");
        CreateDirectoryA((dir + "\\c d").c_str(), nullptr);
        CreateDirectoryA((dir + "\\out").c_str(), nullptr);
        const std::string component = PlaceComponent("ok_other", dir + "\\c d", "ok_other.dll");
        CopyFileA(ProgramPath().c_str(), (dir + "\\" + c.program).c_str(), FALSE);
        if (c.twin)
            CopyFileA((BinFolder() + "\\twin_standin.exe").c_str(), (dir + "\\" + twinName).c_str(), FALSE);
        const std::string arguments = FillHandOff(c.arguments, dir, component);
        SCOPED_TRACE(std::string(c.program) + " " + arguments + " " + (c.twinRow != nullptr ? c.twinRow : "no row"));

        const std::string logPath = dir + "\\twin.log";
        SetEnvironmentVariableA("TOLVANE_TEST_LOG", logPath.c_str());
        SetEnvironmentVariableA("TOLVANE_TEST_TWIN_ROW", c.twinRow);
        SetEnvironmentVariableA("TOLVANE_TEST_TWIN_EXIT", c.twinExit);
        SetEnvironmentVariableA("TOLVANE_HANDED_OFF", c.handedOff);
        RunResult run = RunProgramAt(dir + "\\" + c.program, Widen(arguments), dir);
        for (const char *name : {"TOLVANE_TEST_LOG", "TOLVANE_TEST_TWIN_ROW", "TOLVANE_TEST_TWIN_EXIT", "TOLVANE_HANDED_OFF"})
            SetEnvironmentVariableA(name, nullptr);

        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.exitCode, c.exitCode);
        std::vector<std::string> expected;
        for (const std::string &call : c.twinCalls)
            expected.push_back(FillHandOff(call, dir, component));
        EXPECT_EQ(ReadLines(logPath), expected);
        if (arguments.rfind("/", 0) == 0)
        {
            EXPECT_TRUE(run.dialogs.empty());
            continue;
        }
        ASSERT_EQ(run.dialogs.size(), 1u);
        const std::string message = c.message;
        const std::string text = message == "{own}" ? crash : message == "{ended}" ? ended : noTwin;
        EXPECT_EQ(run.dialogs[0].text, OwnTextMessage(component, c.exitCode, text));
    }
}

// A valid image for a machine that neither program loads is named, and nothing is run for it.
TEST(HandOff, ComponentForAMachineNeitherProgramLoadsIsNamed)
{
    std::string dir = MakeWorkFolder("arm64");
    std::string component = PlaceComponent("ok", dir, "arm.dll");
    // The file header's Machine becomes ARM64 (0xAA64).
    HANDLE file = CreateFileA(component.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD peOffset = 0;
    DWORD done = 0;
    SetFilePointer(file, 0x3C, nullptr, FILE_BEGIN);
    ReadFile(file, &peOffset, 4, &done, nullptr);
    SetFilePointer(file, static_cast<LONG>(peOffset + 4), nullptr, FILE_BEGIN);
    const unsigned char arm64[2] = {0x64, 0xAA};
    WriteFile(file, arm64, 2, &done, nullptr);
    CloseHandle(file);

    RunResult run = RunProgram("\"" + component + "\"", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 193u);
    ASSERT_EQ(run.dialogs.size(), 1u);
    EXPECT_NE(run.dialogs[0].text.find("reports:\n\nThis component is built for ARM64 Windows, which TolVane cannot "
                                       "load.\n\n"),
              std::string::npos)
        << run.dialogs[0].text;
}

// The registry's text value name under key (null: its default value); empty when there is none.
std::string RegistryText(HKEY root, const std::string &key, const char *name = nullptr)
{
    char value[1024] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "";
    return value;
}

DWORD SubkeyCount(HKEY root, const std::string &key)
{
    HKEY opened = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return 0;
    RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(opened);
    return count;
}

bool RegistryKeyExists(HKEY root, const std::string &key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

// A type library of either bitness registers under its own SYSKIND with the path as given, and
// unregisters again: the loader refuses it (193), and TolVane knows it for what it is.
TEST(TypeLibrary, EachBitnessRegistersAndUnregisters)
{
    const std::string library = "TypeLib\\{4B9E2C61-3A57-4C8D-9E21-7F0A5D6B3C18}";
    const struct
    {
        const char *file;
        const char *syskind;
    } cases[] = {{"tl32.tlb", "win32"}, {"tl64.tlb", "win64"}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.file);
        std::string dir = MakeWorkFolder("type library");
        const std::string path = dir + "\\" + c.file;
        ASSERT_TRUE(CopyFileA((BinFolder() + "\\" + c.file).c_str(), path.c_str(), FALSE));
        ASSERT_EQ(LoadError(path), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
        RunResult registering = RunProgram("/S \"" + path + "\"", dir);
        ASSERT_TRUE(registering.exited);
        EXPECT_EQ(registering.exitCode, 0u);
        EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, library + "\\1.0"), "TolVane test library");
        EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, library + "\\1.0\\0\\" + c.syskind), path);

        RunResult unregistering = RunProgram("/U \"" + path + "\"", dir);
        ASSERT_TRUE(unregistering.exited);
        EXPECT_EQ(unregistering.exitCode, 0u);
        ASSERT_EQ(unregistering.dialogs.size(), 1u);
        EXPECT_EQ(unregistering.dialogs[0].text, "The component '" + path + "' has unregistered successfully.");
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, library + "\\1.0\\0\\" + c.syskind));
    }
}

// A damaged type library makes OLE Automation fault while it reads it: that costs its row alone.
TEST(TypeLibrary, DamagedOneCostsItsRowAlone)
{
    std::string dir = MakeWorkFolder("damaged type library");
    ASSERT_TRUE(WriteTextFile(dir + "\\bad.tlb", "MSFT"));
    PlaceComponent("ok", dir, "ok.dll");
    const std::string log = dir + "\\run.log";
    const RunResult run = RunProgram("/S \"/L:" + log + "\" bad.tlb ok.dll", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0u) << "the last call's result";
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 3u);
    // Wine's reader breaks (0x80000003) or faults (0xC0000005), or refuses the file: any of them is
    // one row, and the next component runs.
    const std::string bad = "register|" + dir + "\\bad.tlb|0x";
    EXPECT_EQ(lines[1].compare(0, bad.size(), bad), 0) << lines[1];
    EXPECT_EQ(lines[2], "register|" + dir + "\\ok.dll|0x00000000|Registered successfully");
}

// A file that the record file or the log would destroy stops the run before any call.
TEST(Log, RecordFileOrLogNamingWhatTheyWouldDestroyStopsTheRun)
{
    std::string dir = MakeWorkFolder("victim");
    const std::string victim = PlaceComponent("ok", dir, "victim.dll");
    WIN32_FILE_ATTRIBUTE_DATA before = {};
    ASSERT_TRUE(GetFileAttributesExA(victim.c_str(), GetFileExInfoStandard, &before));
    CreateDirectoryA((dir + "\\folder.reg").c_str(), nullptr);
    const struct
    {
        const char *arguments;
        DWORD exitCode;
    } cases[] = {
        {"/S /R:victim.dll victim.dll", ERROR_INVALID_PARAMETER},
        {"/S /R:run.log /L:run.log victim.dll", ERROR_INVALID_PARAMETER},
        {"/S /R:folder.reg victim.dll", 336},
        {"/S /L:victim.dll /R:x.reg", ERROR_FILE_EXISTS}, // a program is no text log
        {"/S /T:30s victim.dll", ERROR_INVALID_PARAMETER},
    };
    for (const auto &c : cases)
    {
        const RunResult run = RunProgram(c.arguments, dir);
        ASSERT_TRUE(run.exited) << c.arguments;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_TRUE(run.dialogs.empty()) << c.arguments;
    }
    WIN32_FILE_ATTRIBUTE_DATA after = {};
    ASSERT_TRUE(GetFileAttributesExA(victim.c_str(), GetFileExInfoStandard, &after));
    EXPECT_EQ(after.nFileSizeLow, before.nFileSizeLow) << "the component is as it was";
    EXPECT_EQ(CompareFileTime(&after.ftLastWriteTime, &before.ftLastWriteTime), 0);
}

struct LogCase
{
    const char *arguments; // {dir} the work folder, {log} the log
    std::vector<std::string> lines;
    uint32_t exitCode;
};

// A silent run with a log: a line for every component as it comes, whatever the component does;
// a window it shows is answered, and a call that never returns is abandoned after /T.
TEST(Log, EveryComponentGetsItsLineAndNothingWaitsForSomebody)
{
    std::string dir = MakeWorkFolder("log");
    for (const char *name :
         {"ok", "crash", "msgbox", "yesno", "thread_box", "sleeper", "exit_process", "main_box", "main_sleeper",
          "heap_spin", "loader_spin"})
        PlaceComponent(name, dir, (std::string(name) + ".dll").c_str());
    const std::string crash = "The component crashed: access violation (0xC0000005) at crash.dll+0x" +
                              ExportOffset(dir + "\\crash.dll", "CrashSite");
    const std::string answered = "Registered successfully. The component showed a window, which TolVane answered "
                                 "with OK: \"Setup: Registration complete\"";
    const LogCase cases[] = {
        {"/S /T:2 /L:{log} ok.dll missing.dll crash.dll msgbox.dll sleeper.dll /U ok.dll",
         {"#", "register|{dir}\\ok.dll|0x00000000|Registered successfully",
          "register|{dir}\\missing.dll|0xfffffffe|The component 'missing.dll' could not found on this computer.",
          "register|{dir}\\crash.dll|0xc0000005|" + crash, "register|{dir}\\msgbox.dll|0x00000000|" + answered,
          "register|{dir}\\sleeper.dll|0x000005b4|The component did not return within 2 seconds, the time limit "
          "that /T set, so TolVane abandoned it; the rest of the batch went on in a fresh process.",
          "unregister|{dir}\\ok.dll|0x00000000|Unregistered successfully"},
         0},
        // Enter presses Yes; a box on a thread of the component's own is answered too.
        {"/S /L:{log} yesno.dll thread_box.dll /I:user /N ok.dll",
         {"#",
          "register|{dir}\\yesno.dll|0x00000000|Registered successfully. The component showed a window, which "
          "TolVane answered with Yes: \"Setup: Register now?\"",
          "register|{dir}\\thread_box.dll|0x00000000|" + answered,
          "DllInstall|{dir}\\ok.dll|0x00000000|Registered successfully"},
         0},
        // A load is watched too: a box that DllMain shows is answered, and a DllMain that never
        // returns, holding the loader's lock, is abandoned, and the rest still runs.
        {"/S /T:2 /L:{log} main_box.dll main_sleeper.dll ok.dll",
         {"#", "register|{dir}\\main_box.dll|0x00000000|" + answered,
          "register|{dir}\\main_sleeper.dll|0x000005b4|The component did not return within 2 seconds, the time "
          "limit that /T set, so TolVane abandoned it; the rest of the batch went on in a fresh process.",
          "register|{dir}\\ok.dll|0x00000000|Registered successfully"},
         0},
        // A component that holds the heap's lock or the loader's for ever keeps its own process's
        // watchdog from abandoning it: the first process ends that process past the limit.
        {"/S /T:2 /L:{log} heap_spin.dll loader_spin.dll ok.dll",
         {"#",
          "register|{dir}\\heap_spin.dll|0x000005b4|The component did not return within 2 seconds, the time limit "
          "that /T set, so TolVane abandoned it; the rest of the batch went on in a fresh process.",
          "register|{dir}\\loader_spin.dll|0x000005b4|The component did not return within 2 seconds, the time "
          "limit that /T set, so TolVane abandoned it; the rest of the batch went on in a fresh process.",
          "register|{dir}\\ok.dll|0x00000000|Registered successfully"},
         0},
        // The time limit counts in the fresh process after a crash too; its row is the last.
        {"/S /L:{log} /T:1 crash.dll sleeper.dll",
         {"#", "register|{dir}\\crash.dll|0xc0000005|" + crash,
          "register|{dir}\\sleeper.dll|0x000005b4|The component did not return within 1 seconds, the time limit "
          "that /T set, so TolVane abandoned it; the rest of the batch went on in a fresh process."},
         1460},
        // The private argument of a run that TolVane started, typed by somebody, with a handle that
        // may well be a pipe: its token names nothing, so the run is an ordinary one, and logs.
        {"/*rows:000000040123456789abcdef /S /L:{log} ok.dll",
         {"#", "register|{dir}\\ok.dll|0x00000000|Registered successfully"},
         0},
        // A component that ends the first process still gets its line.
        {"/S /L:{log} exit_process.dll ok.dll",
         {"#", "register|{dir}\\exit_process.dll|0x0000042b|The component ended the process while its entry point "
               "ran; the exit code it chose cannot be seen from inside the process."},
         7},
        // Without /S a person is there: /T is ignored.
        {"/T:1 /L:{log} msgbox.dll ok.dll",
         {"#", "register|{dir}\\msgbox.dll|0x00000000|Registered successfully",
          "register|{dir}\\ok.dll|0x00000000|Registered successfully"},
         0},
    };
    for (const LogCase &c : cases)
    {
        const std::string log = dir + "\\run.log";
        DeleteFileA(log.c_str());
        std::string arguments = FillHandOff(c.arguments, dir, "");
        arguments.replace(arguments.find("{log}"), 5, log);
        SCOPED_TRACE(arguments);
        // In a silent run the test leaves the component's boxes to the program; else it is the person.
        const bool silent = (" " + arguments).find(" /S ") != std::string::npos;
        RunResult run = RunProgram(arguments, dir, silent ? DialogAnswer([](HWND) {}) : DialogAnswer());
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.exitCode, c.exitCode);
        std::vector<std::string> expected;
        for (const std::string &line : c.lines)
            expected.push_back(FillHandOff(line, dir, ""));
        EXPECT_EQ(LogLines(log), expected);
        // Only the component shows anything in a silent run; with a person there, its box, then the results.
        if (silent)
        {
            for (const SeenDialog &seen : run.dialogs)
                EXPECT_EQ(seen.title, "Setup");
        }
        else
        {
            ASSERT_EQ(run.dialogs.size(), 2u);
            EXPECT_EQ(run.dialogs[0].title, "Setup");
            EXPECT_EQ(run.dialogs[1].title, "Multidrop Registration Results");
        }
    }
}

// Two runs that write one log at once: whole lines only, all of them.
// A thread that a component leaves running crashes after its call: the run goes on in a fresh
// process, and the next row says what happened.
TEST(Log, ThreadThatOutlivesItsComponentCostsNoComponent)
{
    std::string dir = MakeWorkFolder("late thread");
    for (const char *name : {"late_thread", "slow_load", "ok"})
        PlaceComponent(name, dir, (std::string(name) + ".dll").c_str());
    const std::string log = dir + "\\run.log";
    const RunResult run = RunProgram("/S \"/L:" + log + "\" late_thread.dll slow_load.dll ok.dll", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0u);
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "register|" + dir + "\\late_thread.dll|0x00000000|Registered successfully");
    // It crashes while the next component loads: that component's row tells it, and the one after
    // runs in a fresh process.
    const std::string late = "register|" + dir + "\\slow_load.dll|0x00000000|Registered successfully. Meanwhile a "
                             "thread that an earlier component left running crashed (access violation (0xC0000005) "
                             "at address 0x";
    EXPECT_EQ(lines[2].compare(0, late.size(), late), 0) << lines[2];
    EXPECT_NE(lines[2].find("), so TolVane went on in a fresh process."), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3], "register|" + dir + "\\ok.dll|0x00000000|Registered successfully");
}

TEST(Log, RunsSharingALogInterleaveWholeLines)
{
    std::string dir = MakeWorkFolder("shared log");
    PlaceComponent("ok", dir, "ok.dll");
    const std::string log = dir + "\\shared.log";
    std::string arguments = "/S /L:\"" + log + "\"";
    for (int i = 0; i < 60; i++)
        arguments += " ok.dll";
    ProgramRun first;
    ProgramRun second;
    ASSERT_TRUE(first.Start(arguments, dir));
    ASSERT_TRUE(second.Start(arguments, dir));
    DWORD exitCode = 1;
    ASSERT_TRUE(first.WaitForExit(EXIT_WAIT_MS, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    ASSERT_TRUE(second.WaitForExit(EXIT_WAIT_MS, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    std::vector<std::string> lines = LogLines(log);
    EXPECT_EQ(lines.size(), 122u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "#"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "register|" + dir + "\\ok.dll|0x00000000|Registered successfully"),
              120);
}

// A log or a record file that cannot be written ends the run before any component is called: the
// system's error is the exit code, and a run with a person there is told why.
TEST(Log, FileThatCannotBeWrittenStopsTheRun)
{
    std::string dir = MakeWorkFolder("no log");
    PlaceComponent("ok", dir, "ok.dll");
    const std::string callLog = dir + "\\calls.log";
    SetEnvironmentVariableA("TOLVANE_TEST_LOG", callLog.c_str());
    const std::string file = dir + "\\missing folder\\out";
    for (const auto &option : {std::make_pair("/L:", "open the log file"), std::make_pair("/R:", "write the record file"),
                               std::make_pair("/M:", "write a manifest into the folder")})
        for (const char *silent : {"/S ", ""})
        {
            RunResult run = RunProgram(std::string(silent) + option.first + "\"" + file + "\" ok.dll", dir);
            ASSERT_TRUE(run.exited);
            EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
            if (silent[0] != '\0')
            {
                EXPECT_TRUE(run.dialogs.empty());
                continue;
            }
            ASSERT_EQ(run.dialogs.size(), 1u);
            EXPECT_EQ(run.dialogs[0].title, "Component Registration Error");
            EXPECT_EQ(run.dialogs[0].text, std::string("TolVane could not ") + option.second + " '" + file +
                                               "', so it registered nothing:\n" + SystemText(ERROR_PATH_NOT_FOUND, file));
        }
    SetEnvironmentVariableA("TOLVANE_TEST_LOG", nullptr);
    EXPECT_TRUE(ReadLines(callLog).empty()) << "no component was called";
}

// {6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}, the sample server's class.
const CLSID SAMPLE_CLASS = {0x6a1c3e52, 0x7b0d, 0x4f2a, {0x9c, 0x41, 0x2e, 0x5d, 0x7a, 0x0b, 0x9f, 0x13}};

HRESULT CreateSampleObject()
{
    IUnknown *object = nullptr;
    HRESULT result =
        CoCreateInstance(SAMPLE_CLASS, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&object));
    if (object != nullptr)
        object->Release();
    CoFreeUnusedLibraries();
    return result;
}

// The whole text of a file in UTF-16LE with its byte-order mark, as UTF-8; empty without the mark.
std::string ReadUtf16File(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::vector<wchar_t> wide(GetFileSize(file, nullptr) / 2 + 1, 0);
    DWORD read = 0;
    ReadFile(file, wide.data(), static_cast<DWORD>((wide.size() - 1) * 2), &read, nullptr);
    CloseHandle(file);
    if (wide[0] != 0xFEFF)
        return "";
    char text[65536] = "";
    WideCharToMultiByte(CP_UTF8, 0, wide.data() + 1, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

// Runs a program with arguments to its end; its exit code (1 when it did not run or end).
DWORD RunToExit(const std::string &program, const std::string &arguments)
{
    Launched launched = {};
    DWORD exitCode = 1;
    if (!LaunchProgram(program, arguments, nullptr, &launched) || !WaitForExit(launched, EXIT_WAIT_MS, &exitCode))
        exitCode = 1;
    Dispose(launched);
    return exitCode;
}

// Runs the system's reg.exe with arguments; its exit code.
DWORD RunReg(const std::string &arguments)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    return RunToExit(std::string(system) + "\\reg.exe", arguments);
}

const char SAMPLE_KEY[] = "CLSID\\{6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}";
const char WRITER_KEY[] = "Software\\Classes\\CLSID\\{7B2D4F63-8C1E-4A3B-9D52-3F6E8B1C0A24}";
const char VENDOR_KEY[] = "Software\\TolVaneTestVendor";

// /R: what registering writes goes to the .reg file, the registry itself is left as it was, and
// the file imported registers the component.
TEST(Registry, RecordingWritesTheKeysToAFileAndChangesNothing)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::string dir = MakeWorkFolder("record");
    const std::string server = PlaceComponent("sample_server", dir, "sample_server.dll");
    const std::string writer = PlaceComponent("machine_writer", dir, "machine_writer.dll");
    const std::string library = dir + "\\tl64.tlb";
    ASSERT_TRUE(CopyFileA((BinFolder() + "\\tl64.tlb").c_str(), library.c_str(), FALSE));
    const std::string file = dir + "\\out.reg";
    const std::string log = dir + "\\run.log";
    // The view is the program's own; a type library's platform is its own (tl64.tlb: win64).
    ASSERT_NE(ProgramBits(), 0) << ProgramPath() << " is no x86 or x64 program";
    const std::string bits = std::to_string(ProgramBits());

    PlaceComponent("crash", dir, "crash.dll");
    // The scratch key of a recording run that has died is removed by the next one.
    HKEY stale = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\TolVane recording 99999-0123456789abcdef\\HKEY_USERS", 0,
                              nullptr, 0, KEY_WRITE, nullptr, &stale, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(stale);
    const DWORD classesBefore = SubkeyCount(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID");

    // After the crash, the rest is recorded in a fresh process, which sends its part to this one.
    RunResult run = RunProgram(
        "/S /L:run.log /R:out.reg crash.dll sample_server.dll machine_writer.dll tl64.tlb /U ok.dll", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0u) << "the last call's result; the last row, which called nothing, does not count";
    const std::vector<std::string> rows = {
        "#",
        "register|" + dir + "\\crash.dll|0xc0000005|The component crashed: access violation (0xC0000005) at "
                           "crash.dll+0x" + ExportOffset(dir + "\\crash.dll", "CrashSite"),
        "register|" + server + "|0x00000000|Recorded 2 keys",
        "register|" + writer + "|0x00000000|Recorded 2 keys",
        "register|" + library + "|0x00000000|Recorded 4 keys",
        "unregister|" + dir + "\\ok.dll|0x00000057|Nothing was called: a recording (/R) describes what registering "
                                 "writes, not unregistering.",
    };
    EXPECT_EQ(LogLines(log), rows);

    // Nothing of it, nor of TolVane's own, is in the registry.
    EXPECT_EQ(CreateSampleObject(), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, WRITER_KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, VENDOR_KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{4B9E2C61-3A57-4C8D-9E21-7F0A5D6B3C18}"));
    EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID"), classesBefore);
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software), ERROR_SUCCESS);
    char name[256];
    for (DWORD i = 0; DWORD length = sizeof name; i++)
    {
        if (RegEnumKeyExA(software, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        EXPECT_NE(std::string(name).rfind("TolVane", 0), 0u) << name;
    }
    RegCloseKey(software);

    // The file, as regedit writes one.
    const std::string text = ReadUtf16File(file);
    std::string escaped;
    for (char c : server)
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    for (const std::string &expected :
         {std::string("Windows Registry Editor Version 5.00\r\n"),
          "\r\n; " + server + " (" + bits + "-bit view: import with reg import file /reg:" + bits + ")\r\n",
          std::string("\r\n[HKEY_CLASSES_ROOT\\CLSID\\{6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}]\r\n@=\"TolVane Sample "
                      "Object\"\r\n"),
          "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{6A1C3E52-7B0D-4F2A-9C41-2E5D7A0B9F13}\\InprocServer32]\r\n@=\"" + escaped +
              "\"\r\n\"ThreadingModel\"=\"Apartment\"\r\n",
          std::string("\r\n[HKEY_LOCAL_MACHINE\\Software\\TolVaneTestVendor]\r\n\"Installed\"=dword:00000001\r\n"),
          std::string("\r\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{7B2D4F63-8C1E-4A3B-9D52-3F6E8B1C0A24}]\r\n"),
          std::string("\r\n[HKEY_CLASSES_ROOT\\Typelib\\{4B9E2C61-3A57-4C8D-9E21-7F0A5D6B3C18}\\1.0\\0\\win64]\r\n")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin:\n" << text;
    EXPECT_EQ(text.find("ok.dll"), std::string::npos);

    EXPECT_EQ(text.find("crash.dll"), std::string::npos) << "a crashed component's keys are left out";

    // Imported, it registers the component: the class is created.
    EXPECT_EQ(RunReg("import \"" + file + "\""), 0u);
    EXPECT_EQ(CreateSampleObject(), S_OK);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, VENDOR_KEY, "Installed"), "");
    DWORD installed = 0;
    DWORD size = sizeof installed;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, VENDOR_KEY, "Installed", RRF_RT_REG_DWORD, nullptr, &installed, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(installed, 1u);
    RunResult undo = RunProgram("/S /U sample_server.dll machine_writer.dll tl64.tlb", dir);
    EXPECT_EQ(undo.exitCode, 0u);
    CoUninitialize();
}

// /C: the classes land in the user's, none in the machine's; a machine-wide key outside the
// classes is named in the row; /C /U takes the classes out again.
// A component abandoned past the time limit costs its row, never the recording of the others.
TEST(Registry, RecordingSurvivesAnAbandonedComponent)
{
    std::string dir = MakeWorkFolder("record abandon");
    PlaceComponent("sample_server", dir, "sample_server.dll");
    PlaceComponent("sleeper", dir, "sleeper.dll");
    const std::string file = dir + "\\out.reg";
    const RunResult run = RunProgram("/S /T:2 \"/R:" + file + "\" sample_server.dll sleeper.dll", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 1460u);
    const std::string text = ReadUtf16File(file);
    EXPECT_NE(text.find(std::string("[HKEY_CLASSES_ROOT\\") + SAMPLE_KEY + "]"), std::string::npos) << text;
    EXPECT_EQ(text.find("sleeper.dll"), std::string::npos) << text;
}

// Two recording runs at once (a parallel build): neither takes the other's scratch key for a dead
// run's, so each file holds all that its component wrote.
TEST(Registry, TwoRecordingRunsAtOnceKeepTheirOwn)
{
    std::string dir = MakeWorkFolder("record twice");
    PlaceComponent("slow_writer", dir, "slow_writer.dll");
    PlaceComponent("sample_server", dir, "sample_server.dll");
    ProgramRun slow;
    ASSERT_TRUE(slow.Start("/S /R:slow.reg slow_writer.dll", dir));
    Sleep(500); // the slow run is between its two keys
    const RunResult quick = RunProgram("/S /R:quick.reg sample_server.dll", dir);
    ASSERT_TRUE(quick.exited);
    EXPECT_EQ(quick.exitCode, 0u);
    DWORD exitCode = 1;
    ASSERT_TRUE(slow.WaitForExit(EXIT_WAIT_MS, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    const std::string slowText = ReadUtf16File(dir + "\\slow.reg");
    EXPECT_NE(slowText.find("{7B2D4F63-8C1E-4A3B-9D52-3F6E8B1C0A24}]"), std::string::npos) << slowText;
    EXPECT_NE(slowText.find("[HKEY_LOCAL_MACHINE\\Software\\TolVaneTestVendor]"), std::string::npos) << slowText;
    EXPECT_NE(ReadUtf16File(dir + "\\quick.reg").find(SAMPLE_KEY), std::string::npos);
}

TEST(Registry, CurrentUserRegistersTheClassesForTheUserAlone)
{
    std::string dir = MakeWorkFolder("current user");
    const std::string server = PlaceComponent("sample_server", dir, "sample_server.dll");
    const std::string writer = PlaceComponent("machine_writer", dir, "machine_writer.dll");
    RunResult run = RunProgram("/S /C /L:run.log sample_server.dll machine_writer.dll", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0u);
    const std::string user = std::string("Software\\Classes\\") + SAMPLE_KEY;
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, user + "\\InprocServer32"), server);
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{7B2D4F63-8C1E-4A3B-9D52-3F6E8B1C0A24}"),
              "TolVane Machine Writer");
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + SAMPLE_KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, WRITER_KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, VENDOR_KEY));
    // Wine runs every program elevated: the rows say what that means.
    const std::string elevated = ". TolVane runs elevated, and the system ignores per-user registrations for elevated "
                                 "programs";
    const std::vector<std::string> rows = {
        "#",
        "register|" + server + "|0x00000000|Registered for the current user" + elevated,
        "register|" + writer + "|0x00000000|Registered for the current user. 1 machine-wide key was not written: "
                               "HKLM\\Software\\TolVaneTestVendor" +
            elevated,
    };
    EXPECT_EQ(LogLines(dir + "\\run.log"), rows);

    RunResult undo = RunProgram("/S /C /U sample_server.dll", dir);
    EXPECT_EQ(undo.exitCode, 0u);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, user));
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{7B2D4F63-8C1E-4A3B-9D52-3F6E8B1C0A24}");
}

// /M: the component's registration, recorded, becomes its side-by-side manifest beside it, checked
// by the system; the registry is left as it was; a client whose manifest names the component's
// assembly, with the lines the row gives, then uses the component unregistered.
TEST(Registry, ManifestLetsAnApplicationUseTheComponentUnregistered)
{
    std::string dir = MakeWorkFolder("side by side");
    const std::string server = PlaceComponent("sxs_server", dir, "sxs_server.dll");
    PlaceComponent("ok", dir, "ok.dll");
    const std::string client = dir + "\\sxs_client.exe";
    ASSERT_TRUE(CopyFileA((BinFolder() + "\\sxs_client.exe").c_str(), client.c_str(), FALSE));
    EXPECT_EQ(RunToExit(client, ""), static_cast<DWORD>(REGDB_E_CLASSNOTREG)) << "unregistered, without a manifest";
    const DWORD classesBefore = SubkeyCount(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID");

    RunResult run = RunProgram("/S /L:run.log /M sxs_server.dll /U ok.dll", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0u);
    const std::string dependency = std::string("<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
                                               "name=\"sxs_server.sxs\" version=\"2.5.0.1\" processorArchitecture=\"") +
                                   (ProgramBits() == 64 ? "amd64" : "x86") + "\"/></dependentAssembly></dependency>";
    const std::vector<std::string> rows = {
        "#",
        "register|" + server + "|0x00000000|Wrote " + dir + "\\sxs_server.sxs.manifest: 2 classes, 1 type library, "
        "2 interfaces; checked. The application's manifest names it with: " + dependency + " Not in the manifest (2): "
        "HKEY_CLASSES_ROOT\\CLSID\\{8A3E5C71-2B4D-4E6F-9012-3C5E7A9B1D2F}\\Implemented Categories\\"
        "{40FC6ED4-2438-11CF-A3DB-080036F12502}, HKEY_LOCAL_MACHINE\\Software\\TolVaneSxsVendor",
        "unregister|" + dir + "\\ok.dll|0x00000057|Nothing was called: a side-by-side manifest (/M) describes what "
        "registering writes, not unregistering.",
    };
    EXPECT_EQ(LogLines(dir + "\\run.log"), rows);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "CLSID\\{8A3E5C71-2B4D-4E6F-9012-3C5E7A9B1D2F}"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{7D2E4F83-5C79-4EAF-9043-9B2C7F8D5E3A}"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "Software\\TolVaneSxsVendor"));
    EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID"), classesBefore);
    const std::vector<std::string> manifest = ReadLines(dir + "\\sxs_server.sxs.manifest");
    for (const char *line :
         {"    <typelib tlbid=\"{7D2E4F83-5C79-4EAF-9043-9B2C7F8D5E3A}\" version=\"1.10\" helpdir=\"\" flags=\"HASDISKIMAGE\"/>",
          "  <comInterfaceExternalProxyStub iid=\"{B15C8328-90BD-4E23-D487-DF60B3C19C7E}\" name=\"ISxsAutomation\" "
          "tlbid=\"{7D2E4F83-5C79-4EAF-9043-9B2C7F8D5E3A}\" proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\"/>"})
        EXPECT_NE(std::find(manifest.begin(), manifest.end(), line), manifest.end()) << line;

    // The application's manifest, with the row's lines: the client creates the class by CLSID and
    // ProgID and loads the type library, the component never registered.
    const std::string lines = LogLines(dir + "\\run.log")[1];
    const size_t at = lines.find("<dependency>");
    ASSERT_NE(at, std::string::npos);
    const std::string application =
        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<assembly xmlns=\""
                    "urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n") +
        lines.substr(at, lines.find("</dependency>") + 13 - at) + "\r\n</assembly>\r\n";
    ASSERT_TRUE(WriteTextFile(client + ".manifest", application.c_str()));
    EXPECT_EQ(RunToExit(client, ""), 0u);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "CLSID\\{8A3E5C71-2B4D-4E6F-9012-3C5E7A9B1D2F}"));

    // The check: a class that the component registers but does not serve fails it, and its code is
    // the run's; a manifest in another folder is checked without the component's code.
    PlaceComponent("sxs_broken", dir, "sxs_broken.dll");
    CreateDirectoryA((dir + "\\out").c_str(), nullptr);
    run = RunProgram("/S /L:run.log /M:out sxs_server.dll /M sxs_broken.dll", dir);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(CLASS_E_CLASSNOTAVAILABLE));
    const std::vector<std::string> checked = LogLines(dir + "\\run.log");
    ASSERT_EQ(checked.size(), 6u);
    EXPECT_NE(checked[5].find("|0x80040111|Wrote " + dir + "\\sxs_broken.sxs.manifest: 2 classes, 1 type library, 2 "
                              "interfaces, but the check failed: class {9F4A6105-7E9B-4C01-B265-BD4E91AF7A5C} could "
                              "not be had through the manifest: " + SystemRowText(CLASS_E_CLASSNOTAVAILABLE) +
                              " (0x80040111). The application's manifest names it with: "),
              std::string::npos)
        << checked[5];
    EXPECT_NE(checked[4].find("|0x00000000|Wrote " + dir + "\\out\\sxs_server.sxs.manifest: 2 classes, 1 type "
                              "library, 2 interfaces; checked: the system reads it and finds every class in it"),
              std::string::npos)
        << checked[4];
}

TEST(SampleServer, RegisteringMakesItsClassCreatableAndUnregisteringUndoesIt)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::string dir = MakeWorkFolder("server");
    std::string server = PlaceComponent("sample_server", dir, "sample_server.dll");

    RunResult registering = RunProgram("/S \"" + server + "\"", dir);
    ASSERT_TRUE(registering.exited);
    EXPECT_EQ(registering.exitCode, 0u);
    EXPECT_EQ(CreateSampleObject(), S_OK);

    RunResult unregistering = RunProgram("/U /S \"" + server + "\"", dir);
    ASSERT_TRUE(unregistering.exited);
    EXPECT_EQ(unregistering.exitCode, 0u);
    EXPECT_EQ(CreateSampleObject(), REGDB_E_CLASSNOTREG);
    CoUninitialize();
}

} // namespace
