#pragma once
// The command-line arguments as the user gave them, in the ANSI code page.

struct AnsiArguments
{
    int count;
    char **values;         // values[0] is the program
    wchar_t **wide;        // the same arguments as given
    bool *unrepresentable; // the code page cannot hold this argument: values[i] is its lossy form
};

// Splits the wide command line by the usual rules (SplitCommandLine) and converts each argument on its own, with no
// best-fit look-alikes, so that a character the code page lacks can neither change a name nor
// make a quotation mark that splits it. False when it cannot (out of memory).
bool ReadAnsiArguments(AnsiArguments *arguments);
