#pragma once
// The watchdog of a silent run (app/watchdog/watchdog.h), on the Win32 side: a thread that, while an
// entry point runs, answers the component's windows and abandons a call past the /T time limit.
#include <cstddef>
#include <cstdint>

// What the watchdog asks of the batch: abandon the step that runs now past the time limit (false
// when it has returned meanwhile; a child run also tells the process that started it), and the
// run's exit value.
typedef bool (*AbandonCallFunction)(uint32_t limitSeconds);
typedef int32_t (*ExitValueFunction)();

// Starts the watchdog's thread: only for a silent run; a run with a person there has none.
void StartWatchdog(AbandonCallFunction abandonCall, ExitValueFunction exitValue);

// Before and after each step that runs a component's code, with its time limit in seconds (0:
// none); nothing when the watchdog does not run.
void WatchCall(bool running, uint32_t limitSeconds);

// The words for what the watchdog answered since it was last asked (a takeWindowNote operation).
bool TakeWindowNote(char *text, size_t size);
