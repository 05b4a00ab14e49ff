// Splitting the command line by the usual rules: the arguments as the user gave them.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "app/arguments.h"

namespace
{

std::vector<std::wstring> Split(const std::wstring &line)
{
    // Exactly the room the contract promises, so that the sanitizer catches a write past it.
    std::vector<wchar_t> buffer(line.size() + 1);
    std::vector<wchar_t *> arguments(line.size() / 2 + 2);
    size_t count = SplitCommandLine(line.c_str(), buffer.data(), arguments.data());
    std::vector<std::wstring> split;
    for (size_t i = 0; i < count; i++)
        split.push_back(arguments[i]);
    return split;
}

TEST(SplitCommandLine, UsualRules)
{
    const struct
    {
        std::wstring line;
        std::vector<std::wstring> arguments;
    } cases[] = {
        {L"", {L""}},
        {L"tolvane.exe", {L"tolvane.exe"}},
        {L"\"C:\\Program Files\\tolvane.exe\" /S a.ocx", {L"C:\\Program Files\\tolvane.exe", L"/S", L"a.ocx"}},
        {L"tolvane  \t /u   \"C:\\My Components\\grid.ocx\"  ", {L"tolvane", L"/u", L"C:\\My Components\\grid.ocx"}},
        // The program's name takes no escapes.
        {L"C:\\x\\tv\\\"a b\" c", {L"C:\\x\\tv\\\"a", L"b c"}},
        // Backslashes are literal unless a quotation mark follows them.
        {L"p C:\\dir\\ \\\\server\\share", {L"p", L"C:\\dir\\", L"\\\\server\\share"}},
        {L"p \"C:\\dir\\\\\" x", {L"p", L"C:\\dir\\", L"x"}},
        {L"p a\\\"b \"c\\\\\\\"d\"", {L"p", L"a\"b", L"c\\\"d"}},
        {L"p \"a\"\"b\" \"\"", {L"p", L"a\"b", L""}},
        {L"p a\"b c\"d", {L"p", L"ab cd"}},
        // A fullwidth quotation mark is an ordinary character.
        {L"p \"C:\\q\xFF02 ok.dll\"", {L"p", L"C:\\q\xFF02 ok.dll"}},
        {L"p a b", {L"p", L"a", L"b"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Split(c.line), c.arguments) << std::string(c.line.begin(), c.line.end());
}

} // namespace
