#pragma once
// Runs of another TolVane process (app/child/child_run.h), on the Win32 side: starting a child with
// its row pipe and reading the rows back, and, in a child, reporting its rows.
#include <cstddef>
#include <cstdint>

#include "app/arguments_win.h"
#include "app/child/child_run.h"

// The child's side. When the first argument is the private child argument and names a pipe this
// process holds, it is taken out of arguments and the rows of this run go to that pipe: true,
// with twin set for a twin's run. The pipe is kept from the component's own child processes.
bool TakeChildArgument(AnsiArguments *arguments, bool *twin);

// Reports a row to the process that started this one (a rowAdded operation); nothing when this run
// is not a child's.
void ReportChildRow(const RowReport &row);

// Sends text for the recording of the process that started this one, in pieces.
void ReportChildText(const char *text, size_t length);

// Where text that a child sends for the recording goes.
typedef void (*ChildTextSink)(const char *text, size_t length);
void SetChildTextSink(ChildTextSink sink);

// Tells the process that started this one that a step of a component's code begins, with its time
// limit in seconds (0: none).
void ReportChildStep(uint32_t limitSeconds);

// Tells the process that started this one that this run stopped of its own accord.
void ReportChildEnd();

// Starts program with the child argument, the options and arguments, in folder (null:
// this process's current folder); hands each row it reports to sink; waits for it to end. False with
// end->startError when it cannot be started.
bool RunChildProcess(const wchar_t *program, bool twin, const OptionList &options, const wchar_t *const *arguments,
                     size_t count, const char *folder, ChildRowSink sink, void *context, ChildEnd *end);

// The arguments that rest runs take theirs from (the wide forms of those RunBatch is given).
void SetRestArguments(const AnsiArguments *arguments);

// Runs the arguments from first on in a fresh process of this program (a runRest operation).
bool RunRest(int first, const OptionList &options, const char *folder, ChildRowSink sink, void *context, ChildEnd *end);
