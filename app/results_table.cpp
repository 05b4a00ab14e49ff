#include "app/results_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/guard/call_state.h"
#include "app/paths/path_parts.h"

static const SystemOps *rowOps;
static RowExplainer explainRow;
static int32_t exitValue;
static bool entryPointCalled;
static int32_t lastRowCode; // the code of the last row that tells an outcome
// The component whose rows come next.
static const char *currentFullPath;
static const char *currentCalls;
static uint32_t componentStart;

static const char OUT_OF_MEMORY_TEXT[] = "The result could not be stored: out of memory.";

void BeginRows(const SystemOps &ops, RowExplainer explain)
{
    explainRow = explain;
    // Rows live until the process ends; only a table that is filled again gives back its rows.
    for (int i = 0; i < resultsTable.rowCount; i++)
    {
        std::free(resultsTable.rows[i].componentPath);
        if (resultsTable.rows[i].resultText != OUT_OF_MEMORY_TEXT)
            std::free(const_cast<char *>(resultsTable.rows[i].resultText));
    }
    resultsTable.rowCount = 0;
    resultsTable.unprocessedCount = 0;
    exitValue = 0;
    entryPointCalled = false;
    lastRowCode = 0;
    rowOps = &ops;
    BeginComponent(nullptr, "");
}

void BeginComponent(const char *fullPath, const char *calls)
{
    currentFullPath = fullPath;
    currentCalls = calls;
    componentStart = rowOps->milliseconds();
}

void EndComponent()
{
    currentFullPath = nullptr;
}

char *AllocateRow()
{
    char *path =
        resultsTable.rowCount < MAX_RESULT_ROWS ? static_cast<char *>(std::malloc(PATH_BUFFER_SIZE)) : nullptr;
    if (path == nullptr)
        resultsTable.unprocessedCount++;
    return path;
}

char *RowForArgument(const char *argument)
{
    char *path = AllocateRow();
    if (path != nullptr)
        CopyWholeCharacters(path, PATH_BUFFER_SIZE, argument, argument + std::strlen(argument), rowOps->isLeadByte);
    return path;
}

static const char *CopyText(const char *text)
{
    const size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (copy == nullptr)
        return OUT_OF_MEMORY_TEXT;
    std::memcpy(copy, text, size);
    return copy;
}

// Appends a row; its explanation, if any, begins at explanationAt of its text.
// Adds addition to text as a sentence of its own, into out (size bytes).
static const char *AddSentence(const char *text, const char *addition, char *out, size_t size)
{
    const size_t length = std::strlen(text);
    std::snprintf(out, size, "%s%s %s", text, length > 0 && text[length - 1] != '.' ? "." : "", addition);
    return out;
}

// Another run's row marks where its explanation begins with this character in place of the blank
// before it: a row record has no field of its own for it, and no row text holds the character.
constexpr char EXPLANATION_MARK = '\x1E';

static void AddRow(char *path, const RowReport &report, size_t explanationAt)
{
    ResultEntry &row = resultsTable.rows[resultsTable.rowCount];
    row.componentPath = path;
    char *text = const_cast<char *>(CopyText(report.text));
    char *mark = text != OUT_OF_MEMORY_TEXT ? std::strchr(text, EXPLANATION_MARK) : nullptr;
    if (mark != nullptr)
    {
        *mark = ' ';
        explanationAt = static_cast<size_t>(mark - text) + 1;
    }
    row.resultText = text;
    row.resultCode = report.code;
    row.kind = report.kind;
    row.explanationAt = text != OUT_OF_MEMORY_TEXT ? explanationAt : 0;
    resultsTable.rowCount++;
    if (report.called)
    {
        entryPointCalled = true;
        exitValue = report.result;
    }
    // A row of code 0 that called nothing (a pattern's summary) tells what was done, not how it went.
    if (report.called || report.code != 0)
        lastRowCode = report.code;
    if (rowOps->rowAdded == nullptr)
        return;
    RowReport told = report;
    told.path = path;
    told.text = row.resultText;
    // A child's rows go to the first process, which shows the explanation as a paragraph of its own.
    if (childRun && row.explanationAt > 0)
        text[row.explanationAt - 1] = EXPLANATION_MARK;
    rowOps->rowAdded(told);
    if (childRun && row.explanationAt > 0)
        text[row.explanationAt - 1] = ' ';
}

void AppendReportedRow(char *path, const RowReport &report)
{
    // What happened in this process meanwhile (a thread that crashed late) goes with the next row.
    char note[ROW_TEXT_SIZE];
    char combined[2 * ROW_TEXT_SIZE];
    RowReport told = report;
    if (rowOps->takeWindowNote(note, sizeof note))
        told.text = AddSentence(report.text, note, combined, sizeof combined);
    AddRow(path, told, 0);
}

void CurrentReport(char *path, RowReport *report)
{
    report->path = path;
    report->fullPath = currentFullPath != nullptr && currentFullPath[0] != '\0' ? currentFullPath : path;
    report->call = currentCalls;
    report->milliseconds = rowOps->milliseconds() - componentStart;
}

void AppendRow(char *path, const char *text, int32_t code, RowKind kind, bool called, int32_t result)
{
    // A failure is explained where it can be, read from the files, never loaded.
    char explanation[ROW_TEXT_SIZE];
    char explained[2 * ROW_TEXT_SIZE];
    size_t explanationAt = 0;
    // A row that the twin explained already (its mark) is not explained again.
    if (explainRow != nullptr && code != 0 && kind != ROW_DONE_TEXT && std::strchr(text, EXPLANATION_MARK) == nullptr &&
        currentFullPath != nullptr &&
        currentFullPath[0] != '\0' && explainRow(code, kind, currentFullPath, explanation, sizeof explanation))
    {
        text = AddSentence(text, explanation, explained, sizeof explained);
        explanationAt = std::strlen(text) - std::strlen(explanation);
    }
    // What the component showed and TolVane answered goes with its row.
    char note[ROW_TEXT_SIZE];
    char combined[3 * ROW_TEXT_SIZE];
    if (rowOps->takeWindowNote(note, sizeof note))
        text = AddSentence(text, note, combined, sizeof combined);
    RowReport report = {path, text, code, kind, called, result, nullptr, nullptr, 0};
    CurrentReport(path, &report);
    AddRow(path, report, explanationAt);
}

void AppendSystemFailure(char *path, uint32_t code, RowKind kind, bool called, int32_t result, size_t textSize)
{
    char text[ROW_TEXT_SIZE];
    FormatSystemRowText(rowOps->systemText, code, path, text, textSize < sizeof text ? textSize : sizeof text);
    AppendRow(path, text, static_cast<int32_t>(code), kind, called, result);
}

void AppendNotFound(char *path)
{
    char text[ROW_TEXT_SIZE];
    std::snprintf(text, sizeof text, "The component '%s' could not found on this computer.", path);
    AppendRow(path, text, RESULT_COMPONENT_NOT_FOUND);
}

void AppendNoEntryPoint(char *path, const char *name)
{
    char text[ROW_TEXT_SIZE];
    std::snprintf(text, sizeof text, "%s entry point not found", name);
    AppendRow(path, text, RESULT_ENTRY_POINT_NOT_FOUND);
}

void AppendNothingAsked(char *path, const char *callName)
{
    char text[ROW_TEXT_SIZE];
    std::snprintf(text, sizeof text,
                  "Nothing was done: /N leaves out %s, and no /I asks for DllInstall, so no call was asked for "
                  "this component.",
                  callName);
    AppendRow(path, text, RESULT_INVALID_PARAMETER, ROW_OWN_TEXT);
}

void AppendCrash(char *path, const EntryPointCrash &crash)
{
    MarkPoisoned();
    char text[ROW_TEXT_SIZE];
    ComposeCrashText(crash, text, sizeof text);
    const int32_t code = static_cast<int32_t>(crash.exceptionCode);
    AppendRow(path, text, code, ROW_OWN_TEXT, true, code);
}

void AppendCallFailure(char *path, const char *call, int32_t result, uint32_t lastError)
{
    // An entry point that fails without setting the last-error value is recorded with its own
    // result, so that the failure can never read as code 0, success.
    const uint32_t code = lastError != 0 ? lastError : static_cast<uint32_t>(result);
    if (call == nullptr)
    {
        AppendSystemFailure(path, code, ROW_CALLED, true, result, ENTRY_TEXT_SIZE);
        return;
    }
    char system[ENTRY_TEXT_SIZE];
    char text[ROW_TEXT_SIZE];
    FormatSystemRowText(rowOps->systemText, code, path, system, sizeof system);
    std::snprintf(text, sizeof text, "%s failed: %s", call, system);
    AppendRow(path, text, static_cast<int32_t>(code), ROW_OWN_TEXT, true, result);
}

void AppendUnrepresentable(const char *argument, const char *calls)
{
    BeginComponent(nullptr, calls);
    char *path = RowForArgument(argument);
    if (path != nullptr)
        AppendRow(path,
                  "The name of this component holds characters that the system's ANSI code page cannot hold, so "
                  "TolVane cannot pass it on; it was not loaded.",
                  RESULT_INVALID_NAME, ROW_OWN_TEXT);
}

int32_t BatchExitValue()
{
    return entryPointCalled ? exitValue : lastRowCode;
}
