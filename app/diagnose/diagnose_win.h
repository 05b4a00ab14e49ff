#pragma once
// The diagnosis's needs on Windows: whole files read, the loader's search for a module, the
// KnownDLLs list and the process token's elevation.
#include "app/diagnose/diagnose.h"

// The operations ExplainFailure needs, over the Win32 calls.
DiagnoseOps WinDiagnoseOps();
