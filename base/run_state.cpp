#include "base/run_state.h"

ResultsTable resultsTable;
int unregisterMode;
int silentMode;
const char *installOption;
int noRegisterMode;
const char *timeLimitOption;
const char *recordOption;
int currentUserMode;
const char *manifestOption;
int childRun;
