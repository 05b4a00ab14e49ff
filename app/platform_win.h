#pragma once
// The Win32 side of the batch: the platform operations it is handed.
#include "app/batch.h"

// The operations, each set by name. A recording (/R) goes to the record file, or, in a child
// run, to the process that started this one: childRun must be known first.
PlatformOps WinPlatformOps();

