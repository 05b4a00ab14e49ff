#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/options.h"

namespace
{

TEST(Options, OnlyTheSecondCharacterCounts)
{
    const struct
    {
        const char *argument;
        ArgumentKind kind;
    } cases[] = {
        {"/S", ARGUMENT_SILENT},
        {"-s", ARGUMENT_SILENT},
        {"/Silent", ARGUMENT_SILENT},
        {"-sux", ARGUMENT_SILENT},
        {"/U", ARGUMENT_UNREGISTER},
        {"-u", ARGUMENT_UNREGISTER},
        {"/unreg", ARGUMENT_UNREGISTER},
        {"/I", ARGUMENT_INSTALL},
        {"-i:user", ARGUMENT_INSTALL},
        {"/Install", ARGUMENT_INSTALL},
        {"/N", ARGUMENT_NO_REGISTER},
        {"-noreg", ARGUMENT_NO_REGISTER},
        {"/L:x.log", ARGUMENT_LOG},
        {"-log", ARGUMENT_LOG},
        {"/T:30", ARGUMENT_TIME_LIMIT},
        {"-time", ARGUMENT_TIME_LIMIT},
        {"/M:C:\\out", ARGUMENT_MANIFEST},
        {"-manifest", ARGUMENT_MANIFEST},
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

TEST(Options, SilenceAndTheLastLogCountWhereverTheyStand)
{
    const struct
    {
        std::vector<const char *> arguments;
        std::vector<bool> unrepresentable;
        bool silent;
        const char *log;
    } cases[] = {
        {{"a.dll"}, {}, false, nullptr},
        {{"a.dll", "/s"}, {}, true, nullptr},
        {{"/L:one.log", "a.dll", "/L:two.log"}, {}, false, "two.log"},
        {{"/L", "a.dll"}, {}, false, ""},
        // An argument the code page cannot hold is never an option.
        {{"/S?", "/L:x?.log", "a.dll"}, {false, true, true, false}, false, nullptr},
    };
    for (const auto &c : cases)
    {
        std::vector<const char *> argv = {"tolvane.exe"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        bool flags[8] = {};
        for (size_t i = 0; i < c.unrepresentable.size(); i++)
            flags[i] = c.unrepresentable[i];
        const RunWideOptions options = ScanRunWideOptions(static_cast<int>(argv.size()), const_cast<char **>(argv.data()),
                                                          c.unrepresentable.empty() ? nullptr : flags);
        EXPECT_EQ(options.silent, c.silent);
        if (c.log == nullptr)
            EXPECT_EQ(options.logFile, nullptr);
        else
            EXPECT_STREQ(options.logFile, c.log);
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
