#pragma once
// Type libraries (app/typelib/typelib.h), on the Win32 side.
#include <cstdint>

#include "app/guard/crash_guard.h"

// Registers (or unregisters) the type library at fullPath through OLE Automation, loaded from the
// system folder when the first one comes: a run without one never loads it. *result gets the
// HRESULT; false when there is no OLE Automation library. Under the crash guard: a fault in it
// fills crash.
bool WinRegisterTypeLibrary(const char *fullPath, bool unregister, int32_t *result, EntryPointCrash *crash);
