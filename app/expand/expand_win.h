#pragma once
// Patterns and folders on the command line (app/expand/expand.h), on the Win32 side.
#include "app/arguments_win.h"

// The arguments with every pattern and folder expanded from the current folder (the run's start),
// in the modes the run starts in (unregisterMode); wide forms made for the new ones, for the child
// runs. The arguments as given when memory runs out: then no pattern is expanded, and each gets
// its not-found row.
AnsiArguments ExpandPatterns(const AnsiArguments &given);
