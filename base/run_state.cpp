#include "base/run_state.h"

ResultsTable resultsTable;
int unregisterMode;
int silentMode;
int childRun;
