#pragma once
// The Win32 side of the batch: the platform operations it is handed.
#include "app/batch.h"

extern const PlatformOps winPlatformOps;
