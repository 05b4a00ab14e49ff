#include "report/outcome_win.h"

#include <windows.h>

#include "base/run_state.h"
#include "base/system_win.h"
#include "report/outcome_text.h"

void ShowOutcome(int row)
{
    if (row < 0 || row >= resultsTable.rowCount)
        return;
    char text[OUTCOME_TEXT_SIZE];
    const char *title = ComposeOutcome(resultsTable.rows[row], unregisterMode, WinSystemText, text, sizeof text);
    MessageBoxA(nullptr, text, title, MB_SYSTEMMODAL | MB_ICONINFORMATION);
}
