#pragma once
// The rest of a batch after a component crashed (or a step was abandoned): this process's state is
// unknown, so the arguments after it run in fresh processes of this program, whose rows join the
// table. Window-free.
#include <cstdint>

#include "app/child/child_run.h"
#include "app/options.h"
#include "app/platform.h"

// The arguments of the run, and the modes in force after those already walked.
struct RestArguments
{
    int argc;
    char **argv;
    const bool *unrepresentable; // null: none
    const char *startFolder;     // null: none
    Modes *modes;
    bool silent; // /S stands somewhere on the command line
    // Appends the row of a pattern's or a folder's private argument (app/expand), which needs no
    // process of its own.
    void (*appendExpansionRow)(const char *privateArgument, const Modes &modes, bool unregister);
};

// Runs the arguments from next on: each fresh process goes on until its batch is done or a
// component crashes in it. A process that ends without saying so ended in the component after its
// last row, which gets a row that says so.
void RunRestInChildren(int next, const RestArguments &run, const SystemOps &system, const ChildOps &ops);

// The row of a component whose process ended before it reported the outcome: the exit code
// counts as the entry point's result, as it would have in a process of its own. A process that
// sent something that is not a record was ended: the component may have been called, and is
// never called again.
void AppendChildEnded(char *path, const ChildEnd &end);
