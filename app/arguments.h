#pragma once
// Splitting a command line into its arguments by the usual rules of Windows programs, and joining
// another run's arguments into one that splits back into them. Window-free.
#include <cstddef>

// Splits line: the program's name first (up to the next quotation mark when it starts with one,
// else up to a blank, taken as it stands), then each argument, separated by blanks or tabs.
// Inside an argument, quotation marks group blanks and are dropped; 2n backslashes before a
// quotation mark give n backslashes, 2n + 1 give n and a literal quotation mark; "" inside a
// quoted part is a literal quotation mark; other backslashes are literal. The arguments go into
// buffer one after another, each terminated (wcslen(line) + 1 characters always suffice), with
// a pointer to each in arguments (wcslen(line) / 2 + 2 entries always suffice). Returns the count.
size_t SplitCommandLine(const wchar_t *line, wchar_t *buffer, wchar_t **arguments);

// A child's command line: the program's name, the private argument, the options, then the
// arguments, each as it is or, when it holds a blank, a tab or a quotation mark (or is empty),
// quoted by the usual rules (backslashes doubled before a quotation mark or the closing one; a
// quotation mark gets a backslash). Written to out when it fits in size characters
// with the terminator; returns its length either way.
size_t BuildChildCommandLine(const wchar_t *program, const char *childArgument, const wchar_t *const *options,
                             size_t optionCount, const wchar_t *const *arguments, size_t count, wchar_t *out,
                             size_t size);
