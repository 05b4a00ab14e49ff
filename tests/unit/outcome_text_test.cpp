// The detail message of a row: title and text by the row's code alone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/guard/crash_guard.h"
#include "base/system_text.h"
#include "report/outcome_text.h"

namespace
{

bool FakeSystemText(uint32_t code, char *text, size_t size)
{
    const char *found = code == 5            ? "Access denied. "
                        : code == 0x8004000E ? "Wrong OLE. "
                        : code == 193        ? "%1 is not a valid Win32 application. "
                                             : nullptr;
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
    RowKind kind = ROW_BY_CODE;
    const char *explanation = nullptr; // what TolVane found out, after the row's own text
};

char path[] = "C:\\Program Files\\x\\grid.ocx";
char storedText[] = "The component 'C:\\Program Files\\x\\grid.ocx' could not found on this computer.";
char crashText[] = "The component crashed: access violation (0xC0000005) at grid.ocx+0x1a2b";

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
    // The system's "%1" names the component.
    {193, 0, "Component Registration Error",
     "The component you are trying to register 'C:\\Program Files\\x\\grid.ocx' has returned an error of type 193 "
     "(0xc1) and the operating system reports:\n\nC:\\Program Files\\x\\grid.ocx is not a valid Win32 application. "
     "\n\nIf the OS said there was no problem, try to determine what the above error code means by looking in the "
     "documentation for this component as that error message is component specific."},
    // An entry point that was called and returned -1 or -2 is never "not found".
    {-1, 0, "Component Registration Error",
     "The component you are trying to register 'C:\\Program Files\\x\\grid.ocx' has returned an error of type -1 "
     "(0xffffffff) and the operating system reports:\n\nThe system has no message for error code 0xFFFFFFFF.\n\nIf "
     "the OS said there was no problem, try to determine what the above error code means by looking in the "
     "documentation for this component as that error message is component specific.",
     ROW_CALLED},
    {-2, 1, "Component Registration Error",
     "The component you are trying to register 'C:\\Program Files\\x\\grid.ocx' has returned an error of type -2 "
     "(0xfffffffe) and the operating system reports:\n\nThe system has no message for error code 0xFFFFFFFE.\n\nIf "
     "the OS said there was no problem, try to determine what the above error code means by looking in the "
     "documentation for this component as that error message is component specific.",
     ROW_CALLED},
    // A crash: its own words stand where the system's would.
    {static_cast<int32_t>(0xC0000005), 0, "Component Registration Error",
     "The component you are trying to register 'C:\\Program Files\\x\\grid.ocx' has returned an error of type "
     "-1073741819 (0xc0000005) and the operating system reports:\n\nThe component crashed: access violation "
     "(0xC0000005) at grid.ocx+0x1a2b\n\nIf the OS said there was no problem, try to determine what the above error "
     "code means by looking in the documentation for this component as that error message is component specific.",
     ROW_OWN_TEXT},
    // An explanation follows the message as a paragraph of its own, and is not part of a crash's words.
    {-1, 0, "Component Registration Error",
     "Tolvane can not find the DllRegisterServer entry point in C:\\Program Files\\x\\grid.ocx. Are you sure it is a "
     "registerable control ?\n\nIt is not a COM component.",
     ROW_BY_CODE, "It is not a COM component."},
    {126, 0, "Component Registration Error",
     "The component you are trying to register 'C:\\Program Files\\x\\grid.ocx' has returned an error of type 126 "
     "(0x7e) and the operating system reports:\n\nThe component crashed: access violation (0xC0000005) at "
     "grid.ocx+0x1a2b\n\nIf the OS said there was no problem, try to determine what the above error code means by "
     "looking in the documentation for this component as that error message is component specific.\n\ndep.dll, "
     "needed by grid.ocx, was not found.",
     ROW_OWN_TEXT, "dep.dll, needed by grid.ocx, was not found."},
};

TEST(Outcome, MessageIsChosenByTheCode)
{
    for (const OutcomeCase &c : CASES)
    {
        std::string stored = c.kind == ROW_OWN_TEXT ? crashText : storedText;
        const size_t explanationAt = c.explanation != nullptr ? stored.size() + 1 : 0;
        if (c.explanation != nullptr)
            stored += std::string(" ") + c.explanation;
        ResultEntry row = {path, stored.c_str(), c.code, c.kind, explanationAt};
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
    ResultEntry row = {&longPath[0], "", 77, ROW_BY_CODE, 0};
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

TEST(CrashText, NamesTheExceptionAndWhereItHappened)
{
    const struct
    {
        EntryPointCrash crash;
        const char *text;
    } cases[] = {
        {{0xC0000005, "crash.dll", 0x1a2b, false},
         "The component crashed: access violation (0xC0000005) at crash.dll+0x1a2b"},
        {{0xC00000FD, "deep.ocx", 0, false}, "The component crashed: stack overflow (0xC00000FD) at deep.ocx+0x0"},
        {{0xE06D7363, "KERNELBASE.dll", 0x3b29c, false},
         "The component crashed: unhandled C++ exception (0xE06D7363) at "
         "KERNELBASE.dll+0x3b29c"},
        {{0xE0434352, "", 0x7ff612340000, false},
         "The component crashed: exception 0xE0434352 at address 0x7ff612340000"},
        {{0xC0000005, "threads.dll", 0x1010, true},
         "The component crashed on another thread: access violation (0xC0000005) at threads.dll+0x1010"},
        {{0xC0000005, "", 0x1010, true},
         "The component crashed on another thread: access violation (0xC0000005) at address 0x1010"},
    };
    for (const auto &c : cases)
    {
        char text[256];
        ComposeCrashText(c.crash, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
    // A thread that outlived its component's call crashes later: the next row tells it.
    char text[256];
    ComposeLateCrashText({0xC0000005, "", 0x6a001370, true}, text, sizeof text);
    EXPECT_STREQ(text, "Meanwhile a thread that an earlier component left running crashed (access violation "
                       "(0xC0000005) at address 0x6a001370), so TolVane went on in a fresh process.");
}

TEST(SystemText, RowTextLosesTheLineEndAndIsNeverEmpty)
{
    const struct
    {
        const char *system; // null: the system has no text
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
        // "%1" takes the component's path; other inserts, "%10" and an escaped "%%1" stay as they are.
        {"%1 is not a valid Win32 application.\r\n", 193, "C:\\x\\grid.ocx is not a valid Win32 application.",
         "C:\\x\\grid.ocx is not a valid Win32 application.\r\n"},
        {"Bad EXE format for %1. ", 193, "Bad EXE format for C:\\x\\grid.ocx", "Bad EXE format for C:\\x\\grid.ocx. "},
        {"%2 %10 %%1 %1!s!, %1. ", 9, "%2 %10 %%1 C:\\x\\grid.ocx, C:\\x\\grid.ocx",
         "%2 %10 %%1 C:\\x\\grid.ocx, C:\\x\\grid.ocx. "},
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
        FormatSystemRowText(lookup, c.code, "C:\\x\\grid.ocx", text, sizeof text);
        EXPECT_STREQ(text, c.row);
        FormatSystemText(lookup, c.code, "C:\\x\\grid.ocx", text, sizeof text);
        EXPECT_STREQ(text, c.message);
    }
}

} // namespace
