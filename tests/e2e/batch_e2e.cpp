// The batch: which components are called, in which mode, from which folder, with what result.
#include <gtest/gtest.h>

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

std::string Fill(std::string text, const std::string &dir)
{
    for (size_t at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}", at + dir.size()))
        text.replace(at, 5, dir);
    return text;
}

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
    };
    for (const BatchCase &c : cases)
    {
        std::string arguments = Fill(c.arguments, dir);
        SCOPED_TRACE(arguments);
        DWORD exitCode = 1;
        std::vector<LoggedCall> calls = RunLogged(arguments, dir, &exitCode);
        ASSERT_EQ(calls.size(), c.calls.size());
        for (size_t i = 0; i < calls.size(); i++)
        {
            EXPECT_EQ(calls[i].mode, c.calls[i].mode) << "call " << i;
            EXPECT_EQ(calls[i].module, Fill(c.calls[i].module, dir)) << "call " << i;
            EXPECT_EQ(calls[i].folder, Fill(c.calls[i].folder, dir)) << "call " << i;
        }
        EXPECT_EQ(exitCode, 0u);
    }
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
// twin is the stand-in, which logs its command line, folder and hand-off mark, and exits with
// the code a case chooses.
struct HandOffCase
{
    const char *program;   // in {dir}: the program's copy that is run
    const char *twinExit;  // null: there is no twin beside it
    bool handedOff;        // the run itself was started by a hand-off
    const char *arguments; // {c} is the other machine's component, {dir} the folder
    std::vector<std::string> twinCalls;
    uint32_t exitCode;
    const char *message; // the detail message's explanation, for a run that is not silent
};

const char HANDED_OFF_MESSAGE[] =
    "The component you are trying to register '{c}' has returned an error of type 193 (0xc1) and the operating "
    "system reports:\n\n{text}\n\nIf the OS said there was no problem, try to determine what the above error code "
    "means by looking in the documentation for this component as that error message is component specific.";

std::string FillHandOff(std::string text, const std::string &dir, const std::string &component)
{
    for (const auto &filler :
         {std::make_pair(std::string("{c}"), component), std::make_pair(std::string("{dir}"), dir)})
        for (size_t at = text.find(filler.first); at != std::string::npos; at = text.find(filler.first, at))
        {
            text.replace(at, filler.first.size(), filler.second);
            at += filler.second.size();
        }
    return text;
}

TEST(HandOff, ComponentOfTheOtherMachineGoesToTheTwin)
{
    const std::string twinName = TOLVANE_TWIN_NAME;
    const std::string otherMachine = twinName == "tolvane.exe" ? "32-bit" : "64-bit";
    const std::string noTwin =
        "This is a " + otherMachine + " component; " + twinName + " beside this program registers it.";
    const std::string program = std::string(TOLVANE_PROGRAM_NAME);
    const HandOffCase cases[] = {
        {program.c_str(),
         "0",
         false,
         "/S \"{c}\"",
         {"\"{dir}\\" + twinName + "\" /S \"{c}\"|{dir}\\c d|1"},
         0,
         nullptr},
        {program.c_str(),
         "0",
         false,
         "/U /S \"{c}\"",
         {"\"{dir}\\" + twinName + "\" /S /U \"{c}\"|{dir}\\c d|1"},
         0,
         nullptr},
        // The twin's full exit code is the entry point's result.
        {program.c_str(),
         "0x80070005",
         false,
         "/S \"{c}\"",
         {"\"{dir}\\" + twinName + "\" /S \"{c}\"|{dir}\\c d|1"},
         0x80070005,
         nullptr},
        // Its -1 gives the row and message of a missing entry point.
        {program.c_str(),
         "0xFFFFFFFF",
         false,
         "\"{c}\"",
         {"\"{dir}\\" + twinName + "\" /S \"{c}\"|{dir}\\c d|1"},
         0xFFFFFFFF,
         "Tolvane can not find the DllRegisterServer entry point in {c}. Are you sure it is a registerable control ?"},
        // No twin: plain words, code 193.
        {program.c_str(), nullptr, false, "\"{c}\"", {}, 193, nullptr},
        // A copy of the program named after its twin never starts itself.
        {TOLVANE_TWIN_NAME, nullptr, false, "\"{c}\"", {}, 193, nullptr},
        // A run started by a hand-off never hands on.
        {program.c_str(), "0", true, "/S \"{c}\"", {}, 193, nullptr},
    };
    for (const HandOffCase &c : cases)
    {
        std::string dir = MakeWorkFolder("handoff");
        CreateDirectoryA((dir + "\\c d").c_str(), nullptr);
        const std::string component = PlaceComponent("ok_other", dir + "\\c d", "ok_other.dll");
        CopyFileA(ProgramPath().c_str(), (dir + "\\" + c.program).c_str(), FALSE);
        if (c.twinExit != nullptr)
            CopyFileA((BinFolder() + "\\twin_standin.exe").c_str(), (dir + "\\" + twinName).c_str(), FALSE);
        const std::string arguments = FillHandOff(c.arguments, dir, component);
        SCOPED_TRACE(std::string(c.program) + " " + arguments);

        const std::string logPath = dir + "\\twin.log";
        SetEnvironmentVariableA("TOLVANE_TEST_LOG", logPath.c_str());
        SetEnvironmentVariableA("TOLVANE_TEST_TWIN_EXIT", c.twinExit);
        SetEnvironmentVariableA("TOLVANE_HANDED_OFF", c.handedOff ? "1" : nullptr);
        RunResult run = RunProgramAt(dir + "\\" + c.program, Widen(arguments), dir);
        for (const char *name : {"TOLVANE_TEST_LOG", "TOLVANE_TEST_TWIN_EXIT", "TOLVANE_HANDED_OFF"})
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
        std::string message = c.message != nullptr ? c.message : HANDED_OFF_MESSAGE;
        if (message.find("{text}") != std::string::npos)
            message.replace(message.find("{text}"), 6, noTwin);
        EXPECT_EQ(run.dialogs[0].text, FillHandOff(message, dir, component));
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
