#include <gtest/gtest.h>

#include <cstring>

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

TEST(Options, ValueIsWhatFollowsTheFirstColon)
{
    const struct
    {
        const char *argument;
        const char *value;
    } cases[] = {
        {"/I", ""},
        {"/I:", ""},
        {"/i:user", "user"},
        {"/Install:user", "user"},
        {"/I:a:b", "a:b"},
        {"/I:C:\\My Folder\\x", "C:\\My Folder\\x"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(OptionValue(c.argument), c.value) << c.argument;
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
