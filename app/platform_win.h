#pragma once
// The Win32 side of the run: the instance handle and the platform operations.
#include <windows.h>

#include "app/batch.h"

extern HINSTANCE appInstance;
extern const PlatformOps winPlatformOps;

// FormatMessageA from the system table, on one line, in the user's default language.
bool WinSystemText(uint32_t code, char *text, size_t size);
