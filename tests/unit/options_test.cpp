#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/options.h"
#include "base/run_state.h"

namespace
{

// A command line: the program, then arguments; lossy[i] marks argument i (0 is the program) as one
// that the code page cannot hold (none given: no flags at all).
struct CommandLine
{
    std::vector<const char *> argv;
    bool flags[8] = {};
    const bool *unrepresentable;
    CommandLine(std::vector<const char *> arguments, const std::vector<bool> &lossy) : argv(arguments)
    {
        argv.insert(argv.begin(), "tolvane.exe");
        std::copy(lossy.begin(), lossy.end(), flags);
        unrepresentable = lossy.empty() ? nullptr : flags;
    }
    int argc() const { return static_cast<int>(argv.size()); }
    char **values() { return const_cast<char **>(argv.data()); }
};

TEST(Options, OnlyTheSecondCharacterCounts)
{
    const struct
    {
        const char *argument;
        ArgumentKind kind;
    } cases[] = {
        {"/Silent", ARGUMENT_SILENT},
        {"-u", ARGUMENT_UNREGISTER},
        {"-i:user", ARGUMENT_INSTALL},
        {"/N", ARGUMENT_NO_REGISTER},
        {"/L:x.log", ARGUMENT_LOG},
        {"/T:30", ARGUMENT_TIME_LIMIT},
        {"/R:x.reg", ARGUMENT_RECORD},
        {"-c", ARGUMENT_CURRENT_USER},
        {"/M:C:\\out", ARGUMENT_MANIFEST},
        {"/V", ARGUMENT_VERIFY},
        {"/X", ARGUMENT_IGNORED_OPTION},
        {"/", ARGUMENT_IGNORED_OPTION},
        {"-", ARGUMENT_IGNORED_OPTION},
        {"//S", ARGUMENT_IGNORED_OPTION},
        {"-?", ARGUMENT_IGNORED_OPTION},
        {"x.dll", ARGUMENT_COMPONENT},
        {"S", ARGUMENT_COMPONENT},
        {"", ARGUMENT_COMPONENT},
        {"C:\\-s", ARGUMENT_COMPONENT},
        {"\\\\srv\\x.dll", ARGUMENT_COMPONENT},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ClassifyArgument(c.argument), c.kind) << '"' << c.argument << '"';
}

TEST(Options, TimeLimitIsAWholeNumberOfSecondsUpToADay)
{
    const struct
    {
        const char *argument;
        uint32_t seconds;
    } cases[] = {
        {"/T:30", 30}, {"/T:1", 1},   {"/T:86400", 86400}, {"/T:86401", 0},      {"/T:0", 0},     {"/T", 0},
        {"/T:", 0},    {"/T:2s", 0},  {"/T:-5", 0},        {"/T:99999999999", 0}, {"/time:5", 5},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TimeLimitSeconds(c.argument), c.seconds) << c.argument;
}

// Silence, the last log and a /T that sets no limit (it ends the run before any call) count
// wherever they stand.
TEST(Options, SilenceTheLastLogAndABadTimeLimitCountWhereverTheyStand)
{
    const struct
    {
        std::vector<const char *> arguments;
        std::vector<bool> unrepresentable;
        bool silent;
        const char *log;
        bool timeLimit = false;
        const char *badTimeLimit = nullptr;
    } cases[] = {
        {{"/T:30", "a.dll"}, {}, false, nullptr, true},
        {{"a.dll", "/s"}, {}, true, nullptr},
        {{"/L:one.log", "a.dll", "/L:two.log"}, {}, false, "two.log"},
        {{"/L", "a.dll"}, {}, false, ""},
        {{"/T:30", "a.dll", "/T:0"}, {}, false, nullptr, true, "/T:0"},
        {{"/time:abc", "/T:86401"}, {}, false, nullptr, true, "/time:abc"},
        // An argument the code page cannot hold is never an option.
        {{"/S?", "/L:x?.log", "/T:x?", "a.dll"}, {false, true, true, true, false}, false, nullptr},
    };
    for (const auto &c : cases)
    {
        CommandLine line(c.arguments, c.unrepresentable);
        const RunWideOptions options = ScanRunWideOptions(line.argc(), line.values(), line.unrepresentable);
        EXPECT_EQ(options.silent, c.silent);
        EXPECT_STREQ(options.logFile, c.log);
        EXPECT_EQ(options.timeLimit, c.timeLimit);
        EXPECT_STREQ(options.badTimeLimit, c.badTimeLimit);
    }
}

// The modes that options set, as another run's options; /M's folder from the start folder.
TEST(Options, ModesTravelAsOptionsWithTheManifestFolderMadeFull)
{
    const struct
    {
        std::vector<const char *> options;
        const char *asOptions;
    } cases[] = {
        {{"/I:x", "/N", "/T:5", "/R:a.reg", "/C", "/M"}, "/I:x /N /T:5 /R:a.reg /C /M"},
        {{"/u", "/s", "/I:a", "/X", "/L:x.log", "/I:b"}, "/S /U /I:b"},
        {{"/M:C:out"}, "/M:C:\\start\\out"},
        // A drive-relative folder on another drive is that drive's to resolve.
        {{"/M:D:out"}, "/M:D:out"},
        {{"/M:\\\\srv\\share\\out"}, "/M:\\\\srv\\share\\out"},
        {{"/M:out", "/M"}, "/M"},
        {{"/v", "/U", "/C"}, "/U /C /V"},
    };
    for (const auto &c : cases)
    {
        unregisterMode = 0;
        silentMode = 0;
        Modes modes = {};
        for (const char *option : c.options)
            ApplyOption(option, "C:\\start", &modes);
        const OptionList list = ModesAsOptions(modes, unregisterMode != 0, silentMode != 0);
        std::string joined;
        for (size_t i = 0; i < list.count; i++)
            joined += (i > 0 ? " " : "") + std::string(list.values[i]);
        EXPECT_EQ(joined, c.asOptions) << c.options.front();
    }
    unregisterMode = 0;
    silentMode = 0;
}

// Every file the run writes is checked before any component runs: the last log, the last record
// file, then each folder that /M names.
TEST(Options, RunFilesAreTheLastLogAndRecordFileThenEachManifestFolder)
{
    const struct
    {
        std::vector<const char *> arguments;
        std::vector<bool> unrepresentable;
        std::vector<std::string> files;
    } cases[] = {
        {{"/M:x", "/L:a.log", "c.dll", "/R:r.reg", "/M", "/M:y", "/L:b.log"},
         {},
         {"0 b.log open the log file", "1 r.reg write the record file", "2 x write a manifest into the folder",
          "2 y write a manifest into the folder"}},
        {{"/M:x", "/M:y?"}, {false, false, true}, {"2 x write a manifest into the folder"}},
    };
    for (const auto &c : cases)
    {
        CommandLine line(c.arguments, c.unrepresentable);
        std::vector<std::string> files;
        const RunWideOptions runWide = ScanRunWideOptions(line.argc(), line.values(), line.unrepresentable);
        for (RunFile file = {}; NextRunFile(line.argc(), line.values(), line.unrepresentable, runWide, &file);)
            files.push_back(std::to_string(file.kind) + " " + file.path + " " + file.what);
        EXPECT_EQ(files, c.files) << c.arguments.front();
    }
}

// A file the run would overwrite or append to must be what the run writes there.
TEST(Options, RecordFileAndLogRefuseWhatTheyWouldDestroy)
{
    const std::string reg = std::string("\xFF\xFE") + std::string("W\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0i\0s\0t\0r\0y\0 \0E\0d\0i\0t\0o\0r\0", 46);
    const std::string image("MZ\x90\0\3\0", 6);
    const struct
    {
        RunFileKind kind;
        const char *what; // e: exists, f: a folder, r: read-only, c: a component, l: the log
        std::string start;
        uint32_t error; // 0: allowed
    } cases[] = {
        {RUN_FILE_RECORD, "", "", 0},
        {RUN_FILE_RECORD, "e", reg, 0},
        {RUN_FILE_RECORD, "e", "REGEDIT4\r\n", 0},
        {RUN_FILE_RECORD, "e", image, 80},
        {RUN_FILE_RECORD, "ef", "", 336},
        {RUN_FILE_RECORD, "er", reg, 5},
        {RUN_FILE_RECORD, "ec", reg, 87},
        {RUN_FILE_RECORD, "el", reg, 87},
        {RUN_FILE_LOG, "e", "# 2026-12-09 02:19:26 UTC, TolVane 3.1.0: x\r\n", 0},
        {RUN_FILE_LOG, "e", image, 80},
        {RUN_FILE_LOG, "e", reg, 80},
        {RUN_FILE_LOG, "ec", "", 87},
        {RUN_FILE_MANIFEST_FOLDER, "ef", "", 0},
    };
    for (const auto &c : cases)
    {
        const std::string what = c.what;
        RunFileTarget target = {};
        target.exists = what.find('e') != std::string::npos;
        target.folder = what.find('f') != std::string::npos;
        target.readOnly = what.find('r') != std::string::npos;
        target.component = what.find('c') != std::string::npos;
        target.log = what.find('l') != std::string::npos;
        target.start = reinterpret_cast<const unsigned char *>(c.start.data());
        target.count = c.start.size();
        uint32_t error = 0;
        const char *reason = RunFileRefusal(c.kind, target, &error);
        EXPECT_EQ(reason != nullptr ? error : 0u, c.error) << c.kind << " " << c.what << " " << c.start;
    }
}

TEST(Options, OleFailureMessageNamesTheReason)
{
    const struct
    {
        uint32_t result;
        const char *message;
    } cases[] = {
        {1, "OLE Could not be initialized for the following reason:\nThe COM library is already initialized on this "
            "apartment"},
        {0x80010106, "OLE Could not be initialized for the following reason:\nA previous call to CoInitializeEx "
                     "specified the concurrency model for this apartment as multithread apartment (MTA)"},
        {0x8004000E, "OLE Could not be initialized for the following reason:\nThe versions of COMPOBJ.DLL and "
                     "OLE2.DLL on your machine are incompatible with each other"},
        {0x8007000E, "OLE Could not be initialized for the following reason:\nThe OS could not determine the type of "
                     "error - Tolvane received an undecodable error result"},
        {0x80004005, "OLE Could not be initialized for the following reason:\nThe OS could not determine the type of "
                     "error - Tolvane received an undecodable error result"},
    };
    for (const auto &c : cases)
    {
        char text[512];
        ComposeOleFailureMessage(static_cast<int32_t>(c.result), text, sizeof text);
        EXPECT_STREQ(text, c.message) << std::hex << c.result;
    }
}

TEST(Options, OleFailureMessageIsBounded)
{
    char text[40];
    std::memset(text, 'z', sizeof text);
    ComposeOleFailureMessage(1, text, 20);
    EXPECT_EQ(std::strlen(text), 19u);
    EXPECT_EQ(text[20], 'z');
}

} // namespace
