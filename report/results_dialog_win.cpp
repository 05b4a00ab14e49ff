#include "report/results_dialog_win.h"

#include "report/outcome_win.h"
#include "app/batch.h"

// Until the results list is in place, each row's detail message is shown in turn.
void OpenResultsDialog()
{
    for (int row = 0; row < resultsTable.rowCount; row++)
        ShowOutcome(row);
}
