#pragma once
// What a run knows and its reports read: the results table, one row per component argument in
// command-line order, and the run-wide flags. Filled by the batch (app/), read by the reports
// (report/). Window-free.
#include <cstddef>
#include <cstdint>

constexpr int32_t RESULT_ENTRY_POINT_NOT_FOUND = -1;
constexpr int32_t RESULT_COMPONENT_NOT_FOUND = -2;

// A command line of 32767 characters cannot name more components than this, so in practice the
// table holds every component a run is given.
constexpr int MAX_RESULT_ROWS = 16384;

constexpr size_t ROW_TEXT_SIZE = 1024; // a row's text, terminator included

// How a row's code is to be read by the reports.
enum RowKind
{
    ROW_BY_CODE = 0, // the code alone tells what happened: -2 not found, -1 no entry point, else a system code
    ROW_CALLED,      // the entry point was called and failed: whatever its code, never "not found"
    ROW_OWN_TEXT,    // the row's text is the explanation (a crash, a name that cannot be passed on)
    ROW_DONE_TEXT,   // it succeeded, and the row's text tells what was done (a manifest written)
};

struct ResultEntry
{
    char *componentPath;    // 260-byte heap buffer: the argument after long path expansion
    const char *resultText; // the Results column's text
    int32_t resultCode;     // 0, RESULT_ENTRY_POINT_NOT_FOUND, RESULT_COMPONENT_NOT_FOUND or a system code
    RowKind kind;
    size_t explanationAt; // where the text's explanation of a failure begins; 0: it has none
};

struct ResultsTable
{
    ResultEntry rows[MAX_RESULT_ROWS];
    int rowCount;
    int unprocessedCount; // components that got no row (table full, or out of memory)
};

// A row as it is told to those who listen (the log, the process that started this one), and as a
// child run reports it.
struct RowReport
{
    const char *path;
    const char *text;
    int32_t code;
    RowKind kind;
    bool called;           // an entry point was called for this component (or its process ended in it)
    int32_t result;        // what it returned: the run's exit value counts it
    const char *fullPath;  // the component's full path, or its path as given when there is none
    const char *call;      // the calls its options ask for: "register", "unregister", "DllInstall"...
    uint32_t milliseconds; // how long the component took
};

extern ResultsTable resultsTable;
extern int unregisterMode;
extern int silentMode;
extern int childRun; // this run was started by another TolVane, which shows its rows
