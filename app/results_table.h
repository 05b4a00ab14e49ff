#pragma once
// The results table as the batch fills it: one row for each component argument, in command-line
// order, each told to the listener as it is appended, and the run's exit value. Window-free.
#include <cstddef>
#include <cstdint>

#include "app/platform.h"

constexpr size_t ENTRY_TEXT_SIZE = 512; // the system's text for what an entry point returned

constexpr int32_t RESULT_OUT_OF_MEMORY = 8;        // ERROR_NOT_ENOUGH_MEMORY
constexpr int32_t RESULT_INVALID_PARAMETER = 87;   // ERROR_INVALID_PARAMETER: the options ask for no call
constexpr int32_t RESULT_INVALID_NAME = 123;       // ERROR_INVALID_NAME
constexpr int32_t RESULT_BAD_EXE_FORMAT = 193;     // ERROR_BAD_EXE_FORMAT: not a module this program loads
constexpr int32_t RESULT_FILE_NAME_TOO_LONG = 206; // ERROR_FILENAME_EXCED_RANGE
constexpr int32_t RESULT_ALREADY_EXISTS = 183;    // ERROR_ALREADY_EXISTS
constexpr int32_t RESULT_TIMEOUT = 1460;           // ERROR_TIMEOUT: a step abandoned after the time limit

// The plain words that explain a failed row of the component at fullPath (its code, and how the
// code is to be read), into text; false when there are none.
typedef bool (*RowExplainer)(int32_t code, RowKind kind, const char *fullPath, char *text, size_t size);

// Empties the table and forgets the exit value; rows are told through ops from now on, and each
// failed row of a component with a full path is explained (explain null: never).
void BeginRows(const SystemOps &ops, RowExplainer explain = nullptr);

// The component whose rows come next: its full path (null or empty: it has none; the buffer is
// read when its row is appended), the calls its modes ask for ("register", for the log), and the
// time it starts.
void BeginComponent(const char *fullPath, const char *calls);

// No component's rows come next: its full path is no longer read.
void EndComponent();

// A new row's path buffer (PATH_BUFFER_SIZE bytes), the row's own until the table is emptied;
// null when no row can be had (the table is full or memory ran out): the component is counted
// as not processed.
char *AllocateRow();

// A new row's path buffer holding argument as given, cut on a whole character; null as AllocateRow.
char *RowForArgument(const char *argument);

// Appends the current component's row, with the explanation of a failure and what the watchdog
// answered for it; called tells that
// an entry point was called for it and returned result, which the exit value then counts.
void AppendRow(char *path, const char *text, int32_t code, RowKind kind = ROW_BY_CODE, bool called = false,
               int32_t result = 0);

// Appends a row whose text is the system's for code (cut to textSize).
void AppendSystemFailure(char *path, uint32_t code, RowKind kind = ROW_BY_CODE, bool called = false,
                         int32_t result = 0, size_t textSize = ROW_TEXT_SIZE);

// The spine's rows: a component not found; an entry point not found; no call asked for by the
// options (callName: the call /N leaves out); a crash, which poisons the process; a failed call,
// named when two calls may run (with /I; call: null otherwise).
void AppendNotFound(char *path);
void AppendNoEntryPoint(char *path, const char *name);
void AppendNothingAsked(char *path, const char *callName);
void AppendCrash(char *path, const EntryPointCrash &crash);
void AppendCallFailure(char *path, const char *call, int32_t result, uint32_t lastError);

// The row of an argument whose name the ANSI code page cannot hold (argument: its lossy form); it
// is never loaded. calls: what the modes ask, for the log.
void AppendUnrepresentable(const char *argument, const char *calls);

// Appends a row as another run reported it.
void AppendReportedRow(char *path, const RowReport &report);

// The current component's report so far, for a line that must be written before the process
// ends under it: path, full path, calls and milliseconds.
void CurrentReport(char *path, RowReport *report);

// The run's exit code: the last called entry point's result, or, when no entry point was called,
// the last row's code (0 when there are no rows); a row of code 0 that called nothing passes.
int32_t BatchExitValue();
