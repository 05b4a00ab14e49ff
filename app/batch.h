#pragma once
// The registration batch: every component argument goes through one fixed pipeline and ends in
// one row of the results table. Window-free: the platform's operations are handed in, the
// primitives and each feature's own.
#include <cstdint>

#include "app/child/child_run.h"
#include "app/diagnose/diagnose.h"
#include "app/manifest/manifest.h"
#include "app/options.h"
#include "app/platform.h"
#include "app/redirect/redirect.h"
#include "app/results_table.h"
#include "app/typelib/typelib.h"
#include "app/verify/verify.h"

struct PlatformOps
{
    SystemOps system;
    TypeLibraryOps typeLibrary; // app/typelib
    ChildOps child;             // app/child: the twin, and the rest of a batch
    RedirectOps registry;       // app/registry: /R, /C, /M
    ManifestOps manifest;       // app/manifest: /M
    DiagnoseOps diagnose;       // app/diagnose: the explanation of a failed row
    VerifyOps verify;           // app/verify: /V
};

// Walks argv[1..argc-1]: options set the modes of the components after them, every other argument
// is registered. unrepresentable (null: none) marks the arguments that the ANSI code page cannot
// hold: they are never options and never loaded. runWide: the options that count wherever they stand.
// After a component crashed, this process's state is unknown: the rest of the arguments run in
// fresh processes, whose rows join the table; a run that is itself such a child (childRun) stops
// there instead.
void RunBatch(int argc, char **argv, const bool *unrepresentable, const RunWideOptions &runWide,
              const PlatformOps &ops);

// Abandons the step that runs a component's code now, from another thread, when it has run past
// the time limit: its component gets a row that says so (code 1460, ERROR_TIMEOUT, counted as its
// result). Only a child run has a time limit (a silent run with /T supervises its children and runs
// no component code itself): the process that started it runs the rest. False when the step has
// returned meanwhile. After true the process must end, with
// BatchExitValue(): the step never returns to the batch.
bool AbandonCall(uint32_t limitSeconds);

// The component whose step runs now, for a line that must be written before the process ends
// under it: path, full path, calls and milliseconds so far. False when no step runs.
bool PendingCall(RowReport *row);
