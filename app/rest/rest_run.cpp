#include "app/rest/rest_run.h"

#include <cstring>

#include "app/watchdog/watchdog.h"
#include "app/results_table.h"

void AppendChildEnded(char *path, const ChildEnd &end)
{
    const uint32_t exitCode = end.exitCode;
    char text[ROW_TEXT_SIZE];
    if (end.timedOut) // ended past a step's limit: the component's row is the abandon's
    {
        ComposeAbandonText(end.timeLimit, text, sizeof text);
        AppendRow(path, text, RESULT_TIMEOUT, ROW_OWN_TEXT, true, RESULT_TIMEOUT);
        return;
    }
    if (end.garbled)
        ComposeChildGarbledText(text, sizeof text);
    else
        ComposeChildEndedText(exitCode, text, sizeof text);
    AppendRow(path, text, static_cast<int32_t>(exitCode), ROW_OWN_TEXT, true, static_cast<int32_t>(exitCode));
}

// An argument that makes a row: a component, or a pattern's or a folder's summary.
static bool IsComponent(int i, const RestArguments &run)
{
    return (run.unrepresentable != nullptr && run.unrepresentable[i]) ||
           ClassifyArgument(run.argv[i]) == ARGUMENT_COMPONENT ||
           ClassifyArgument(run.argv[i]) == ARGUMENT_EXPANSION_ROW;
}

// Walks from argument i over options, applying them, and over count component arguments; the index
// of the first argument not passed.
static int PassArguments(int i, int count, const RestArguments &run)
{
    for (; i < run.argc; i++)
    {
        if (!IsComponent(i, run))
            ApplyOption(run.argv[i], run.startFolder, run.modes);
        else if (count-- == 0)
            break;
    }
    return i;
}

// Takes each row that a child run of the rest of the batch reports.
static void TakeRestRow(const RowReport &row, void *context)
{
    int *count = static_cast<int *>(context);
    (*count)++;
    char *path = RowForArgument(row.path);
    if (path != nullptr)
        AppendReportedRow(path, row);
}

// Every component argument from next on gets a row: no process could be started for them.
static void AppendNotStarted(int next, const RestArguments &run, uint32_t error, const SystemOps &system)
{
    char reason[ROW_TEXT_SIZE];
    char text[ROW_TEXT_SIZE];
    FormatSystemText(system.systemText, error, nullptr, reason, sizeof reason);
    for (size_t length = std::strlen(reason); length > 0 && static_cast<unsigned char>(reason[length - 1]) <= ' ';)
        reason[--length] = '\0';
    ComposeChildNotStartedText(reason, text, sizeof text);
    for (; next < run.argc; next++)
    {
        if (!IsComponent(next, run))
        {
            ApplyOption(run.argv[next], run.startFolder, run.modes);
            continue;
        }
        const bool lossy = run.unrepresentable != nullptr && run.unrepresentable[next];
        if (!lossy && ClassifyArgument(run.argv[next]) == ARGUMENT_EXPANSION_ROW) // needs no process of its own
        {
            run.appendExpansionRow(run.argv[next], *run.modes, unregisterMode != 0);
            continue;
        }
        BeginComponent(nullptr, CallWords(*run.modes, unregisterMode != 0));
        char *path = RowForArgument(run.argv[next]);
        if (path != nullptr)
            AppendRow(path, text, static_cast<int32_t>(error), ROW_OWN_TEXT);
    }
}

void RunRestInChildren(int next, const RestArguments &run, const SystemOps &system, const ChildOps &ops)
{
    for (;;)
    {
        next = PassArguments(next, 0, run);
        if (next >= run.argc)
            return;
        int rows = 0;
        ChildEnd end = {};
        const OptionList options = ModesAsOptions(*run.modes, unregisterMode != 0, run.silent);
        if (!ops.runRest(next, options, run.startFolder, TakeRestRow, &rows, &end))
        {
            AppendNotStarted(next, run, end.startError, system);
            return;
        }
        next = PassArguments(next, rows, run);
        // A process that stopped without a row would be started again for ever: its first
        // component is taken as the one it ended in.
        if ((end.reported && rows > 0) || next >= run.argc)
            continue;
        char *path = RowForArgument(run.argv[next]);
        if (path != nullptr)
        {
            char fullPath[PATH_BUFFER_SIZE];
            FullPathFromFolder(run.startFolder, path, fullPath);
            BeginComponent(fullPath, CallWords(*run.modes, unregisterMode != 0));
            AppendChildEnded(path, end);
            BeginComponent(nullptr, "");
        }
        next++;
    }
}
