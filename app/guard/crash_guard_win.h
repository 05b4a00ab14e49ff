#pragma once
// The crash guard: an exception that a component's entry point leaves unhandled ends that call,
// never the run. It acts only where such an exception would otherwise end the process (the
// unhandled-exception filter), so exceptions that a component raises and handles itself pass
// untouched. (Built with MSVC, an __except at the call does the same.)
#include <windows.h>
#include <cstdint>

#include "app/guard/crash_guard.h"

typedef HRESULT(WINAPI *DLLREGISTER)(void);
typedef HRESULT(WINAPI *DLLINSTALL)(BOOL install, LPCWSTR text);
// What the guard calls: a component's entry point, through a function of ours that calls it.
typedef int32_t (*GuardedFunction)(void *context);

// Makes the batch's thread the guarded one. Call once at start, on that thread.
void InstallCrashGuard();

// Installs the guard for the whole batch: a crash on any thread but the batch's, outside a guarded
// call, ends that thread and marks the process as poisoned (app/guard/call_state). Again after
// each step: a component may have replaced the filter.
void ArmBatchGuard();

// The first such crash, once; false when there was none (or it was told already).
bool TakeLateCrash(EntryPointCrash *crash);

// Calls function(context), and so the component's entry point, on this thread, with the guard's unhandled-exception
// filter installed for the call alone. True with *result when it returns; false with crash filled in when it left an
// exception unhandled, or when another thread crashed meanwhile: that thread, the component's
// own, is ended with its exception code. The crashed module's code is never run again by the guard.
bool GuardedCall(GuardedFunction function, void *context, int32_t *result, EntryPointCrash *crash);
