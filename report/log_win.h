#pragma once
// The log of a run (/L:file), on the Win32 side: opening it, and one line per row as it comes.
#include <windows.h>
#include <cstdint>

#include "base/run_state.h"

// Opens path for appending (a relative name from the current folder, the one the run started in)
// and writes the run's header line: false with the system's reason in *error.
bool OpenLog(const char *path, DWORD *error);

// Writes the row's line, when a log is open (a rowAdded operation).
void LogRow(const RowReport &row);

// The error of the first log line that could not be written whole; 0 when every one was.
uint32_t LogWriteError();
