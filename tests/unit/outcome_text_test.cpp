// The detail message of a row: title and text by the row's code alone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/system_text.h"
#include "report/outcome_text.h"

namespace
{

bool FakeSystemText(uint32_t code, char *text, size_t size)
{
    const char *found = code == 5 ? "Access denied. " : code == 0x8004000E ? "Wrong OLE. " : nullptr;
    if (found == nullptr || std::strlen(found) + 1 > size)
        return false;
    std::strcpy(text, found);
    return true;
}

struct OutcomeCase
{
    int32_t code;
    int unregister;
    const char *title;
    const char *text;
};

char path[] = "C:\\Program Files\\x\\grid.ocx";
char storedText[] = "The component 'C:\\Program Files\\x\\grid.ocx' could not found on this computer.";

const OutcomeCase CASES[] = {
    {0, 0, "TolVane 3.1", "The component 'C:\\Program Files\\x\\grid.ocx' has registered successfully."},
    {0, 1, "TolVane 3.1", "The component 'C:\\Program Files\\x\\grid.ocx' has unregistered successfully."},
    {-2, 0, "Component Registration Error",
     "The component 'C:\\Program Files\\x\\grid.ocx' could not found on this computer."},
    {-1, 0, "Component Registration Error",
     "Tolvane can not find the DllRegisterServer entry point in C:\\Program Files\\x\\grid.ocx. Are you sure it is a "
     "registerable control ?"},
    {-1, 1, "Component Registration Error",
     "Tolvane can not find the DllUnregisterServer entry point in C:\\Program Files\\x\\grid.ocx. Are you sure it is "
     "a registerable control ?"},
    {5, 1, "Component Registration Error",
     "The component you are trying to register 'C:\\Program Files\\x\\grid.ocx' has returned an error of type 5 (0x5) "
     "and the operating system reports:\n\nAccess denied. \n\nIf the OS said there was no problem, try to determine "
     "what the above error code means by looking in the documentation for this component as that error message is "
     "component specific."},
    {static_cast<int32_t>(0x8004000E), 0, "Component Registration Error",
     "The component you are trying to register 'C:\\Program Files\\x\\grid.ocx' has returned an error of type "
     "-2147221490 (0x8004000e) and the operating system reports:\n\nWrong OLE. \n\nIf the OS said there was no "
     "problem, try to determine what the above error code means by looking in the documentation for this component "
     "as that error message is component specific."},
    {static_cast<int32_t>(0x80040154), 0, "Component Registration Error",
     "The component you are trying to register 'C:\\Program Files\\x\\grid.ocx' has returned an error of type "
     "-2147221164 (0x80040154) and the operating system reports:\n\nThe system has no message for error code "
     "0x80040154.\n\nIf the OS said there was no problem, try to determine what the above error code means by "
     "looking in the documentation for this component as that error message is component specific."},
    {31, 1, "Component Registration Error",
     "The loading process for C:\\Program Files\\x\\grid.ocx has failed with an error code of 31 (0x1F). (the "
     "DllRegisterServer entry point was not even called - LoadLibrary() failed) Microsoft's explanation for this error "
     "is 'A device attached to the system is not functioning' This can mean several things:\n\n1. One of the "
     "components that this component needs is missing.\n\n2. One of the components that this component needs "
     "returned a result code of 31 (0x1F).\n\n3. This error is also returned when a corrupted or invalid component is "
     "passed to TolVane.\n\n"},
};

TEST(Outcome, MessageIsChosenByTheCode)
{
    for (const OutcomeCase &c : CASES)
    {
        ResultEntry row = {path, storedText, c.code};
        char text[OUTCOME_TEXT_SIZE];
        const char *title = ComposeOutcome(row, c.unregister, FakeSystemText, text, sizeof text);
        EXPECT_STREQ(title, c.title) << c.code;
        EXPECT_STREQ(text, c.text) << c.code;
    }
}

TEST(Outcome, LongestPathAndSystemTextFitTheBuffer)
{
    std::string longPath(259, 'p');
    std::string longText(511, 't');
    ResultEntry row = {&longPath[0], "", 77};
    auto lookup = [](uint32_t, char *text, size_t size) {
        std::memset(text, 't', size - 1);
        text[size - 1] = '\0';
        return true;
    };
    char text[OUTCOME_TEXT_SIZE];
    ComposeOutcome(row, 0, lookup, text, sizeof text);
    std::string shown = text;
    EXPECT_NE(shown.find(longPath), std::string::npos);
    EXPECT_NE(shown.find(longText), std::string::npos);
    EXPECT_NE(shown.find("component specific."), std::string::npos) << "nothing is cut off";
}

TEST(SystemText, RowTextLosesTheLineEndAndIsNeverEmpty)
{
    const struct
    {
        const char *system;  // null: the system has no text
        uint32_t code;
        const char *row;
        const char *message;
    } cases[] = {
        {"Access denied. ", 5, "Access denied", "Access denied. "},
        {"Access denied.\r\n", 5, "Access denied.", "Access denied.\r\n"},
        {nullptr, 0x80040154, "The system has no message for error code 0x80040154.",
         "The system has no message for error code 0x80040154."},
        {"\r\n", 7, "The system has no message for error code 0x00000007.", "\r\n"},
        {nullptr, 0xC0000005, "The system has no message for error code 0xC0000005.",
         "The system has no message for error code 0xC0000005."},
    };
    static const char *current;
    for (const auto &c : cases)
    {
        current = c.system;
        auto lookup = [](uint32_t, char *text, size_t size) {
            if (current == nullptr)
                return false;
            std::snprintf(text, size, "%s", current);
            return true;
        };
        char text[512];
        FormatSystemRowText(lookup, c.code, text, sizeof text);
        EXPECT_STREQ(text, c.row);
        FormatSystemText(lookup, c.code, text, sizeof text);
        EXPECT_STREQ(text, c.message);
    }
}

} // namespace
