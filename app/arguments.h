#pragma once
// Splitting a command line into its arguments by the usual rules of Windows programs. Window-free.
#include <cstddef>

// Splits line: the program's name first (up to the next quotation mark when it starts with one,
// else up to a blank, taken as it stands), then each argument, separated by blanks or tabs.
// Inside an argument, quotation marks group blanks and are dropped; 2n backslashes before a
// quotation mark give n backslashes, 2n + 1 give n and a literal quotation mark; "" inside a
// quoted part is a literal quotation mark; other backslashes are literal. The arguments go into
// buffer one after another, each terminated (wcslen(line) + 1 characters always suffice), with
// a pointer to each in arguments (wcslen(line) / 2 + 2 entries always suffice). Returns the count.
size_t SplitCommandLine(const wchar_t *line, wchar_t *buffer, wchar_t **arguments);
