#pragma once
// What a run knows and its reports read: the results table, one row per component argument in
// command-line order, and the run-wide flags. Filled by the batch (app/), read by the reports
// (report/). Window-free.
#include <cstdint>

constexpr int32_t RESULT_ENTRY_POINT_NOT_FOUND = -1;
constexpr int32_t RESULT_COMPONENT_NOT_FOUND = -2;

// A command line of 32767 characters cannot name more components than this, so in practice the
// table holds every component a run is given.
constexpr int MAX_RESULT_ROWS = 16384;

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
};

struct ResultsTable
{
    ResultEntry rows[MAX_RESULT_ROWS];
    int rowCount;
    int unprocessedCount; // components that got no row (table full, or out of memory)
};

extern ResultsTable resultsTable;
extern int unregisterMode;
extern int silentMode;
extern const char *installOption;   // the last /I option given so far (its text follows a colon); null: none
extern int noRegisterMode;          // /N: no DllRegisterServer or DllUnregisterServer call
extern const char *timeLimitOption; // the last /T option given so far; null: none
extern const char *recordOption;    // the last /R option given so far: record, do not register; null: none
extern int currentUserMode;         // /C: register for the current user
extern const char *manifestOption;  // the last /M option given so far: record, and write a manifest; null: none
extern int childRun;                // this run was started by another TolVane, which shows its rows
