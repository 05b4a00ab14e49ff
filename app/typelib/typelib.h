#pragma once
// Type libraries (.tlb, .olb: "MSFT", or "SLTG" for the older format), which the loader refuses
// (193): registered through OLE Automation instead of an entry point. Window-free.
#include <cstdint>

#include "app/guard/crash_guard.h"

struct TypeLibraryOps
{
    // Registers (or unregisters) the type library at fullPath: *result gets the HRESULT. False when
    // the system has no means to (no OLE Automation library). A damaged library that makes the
    // system fault costs its own row: crash->exceptionCode is set then.
    bool (*registerTypeLibrary)(const char *fullPath, bool unregister, int32_t *result, EntryPointCrash *crash);
};

// True when a component that the loader refused as no valid module (error) is a type library, by
// its first bytes: they are read only then, so the usual component costs no extra read.
struct SystemOps;
bool IsTypeLibraryFile(const char *fullPath, uint32_t error, const SystemOps &system);
