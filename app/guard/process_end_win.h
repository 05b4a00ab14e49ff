#pragma once
// A component that ends the process (ExitProcess) while its code runs: its row is still reported,
// by whoever listens. Windows tells this program's TLS callback of the process detach; Wine tells
// only the batch thread's fiber-local storage, so both listen, and the first to hear reports.
#include <windows.h>

#include "base/run_state.h"

// The step that runs a component's code now: false when none runs.
typedef bool (*PendingStepFunction)(RowReport *row);
// Where the row of a component that ended the process goes (the log).
typedef void (*RowFunction)(const RowReport &row);

// Listens, on the batch's thread, for the process ending under a step. Call once at start.
void ListenForProcessEnd(PendingStepFunction pending, RowFunction report);

// The TLS callback that hears of the process detach: the program's TLS directory lists it.
void NTAPI ProcessEndCallback(PVOID module, DWORD reason, PVOID reserved);
