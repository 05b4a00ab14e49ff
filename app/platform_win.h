#pragma once
// The Win32 side of the batch: the platform operations it is handed.
#include "app/batch.h"

extern const PlatformOps winPlatformOps;

// Listens, on the batch's thread, for the process ending under an entry point call, so that the
// component's row is still reported. Call once at start.
void ListenForProcessEnd();
