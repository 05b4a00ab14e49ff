#include "app/results_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/paths/path_parts.h"

static const SystemOps *rowOps;
static int32_t exitValue;
static bool entryPointCalled;
// The component whose rows come next.
static const char *currentFullPath;
static const char *currentCalls;
static uint32_t componentStart;

static const char OUT_OF_MEMORY_TEXT[] = "The result could not be stored: out of memory.";

void BeginRows(const SystemOps &ops)
{
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

void AppendReportedRow(char *path, const RowReport &report)
{
    ResultEntry &row = resultsTable.rows[resultsTable.rowCount];
    row.componentPath = path;
    row.resultText = CopyText(report.text);
    row.resultCode = report.code;
    row.kind = report.kind;
    resultsTable.rowCount++;
    if (report.called)
    {
        entryPointCalled = true;
        exitValue = report.result;
    }
    if (rowOps->rowAdded != nullptr)
    {
        RowReport told = report;
        told.path = path;
        told.text = row.resultText;
        rowOps->rowAdded(told);
    }
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
    // What the component showed and TolVane answered goes with its row.
    char note[ROW_TEXT_SIZE];
    char combined[2 * ROW_TEXT_SIZE];
    if (rowOps->takeWindowNote(note, sizeof note))
    {
        const size_t length = std::strlen(text);
        std::snprintf(combined, sizeof combined, "%s%s %s", text, length > 0 && text[length - 1] != '.' ? "." : "",
                      note);
        text = combined;
    }
    RowReport report = {path, text, code, kind, called, result, nullptr, nullptr, 0};
    CurrentReport(path, &report);
    AppendReportedRow(path, report);
}

void AppendSystemFailure(char *path, uint32_t code, RowKind kind, bool called, int32_t result, size_t textSize)
{
    char text[ROW_TEXT_SIZE];
    FormatSystemRowText(rowOps->systemText, code, path, text, textSize < sizeof text ? textSize : sizeof text);
    AppendRow(path, text, static_cast<int32_t>(code), kind, called, result);
}

int32_t BatchExitValue()
{
    if (entryPointCalled)
        return exitValue;
    if (resultsTable.rowCount > 0)
        return resultsTable.rows[resultsTable.rowCount - 1].resultCode;
    return 0;
}
