#pragma once
// The state of the step that runs a component's code now (an entry point, a type library's
// registration, a manifest's check): none, running, or abandoned by the watchdog past the time
// limit, when another thread owns the run. And whether this process can still be trusted.
// Window-free.
#include <cstdint>

// Before a step that runs a component's code.
void BeginStep();

// After it: false when the watchdog abandoned it meanwhile. The caller must not go on then (its
// thread waits for the process to end).
bool EndStep();

// From the watchdog's thread: abandons the step that runs now; false when none runs.
bool TakeAbandon();

// True while a step runs and has not been abandoned.
bool StepRunning();

// A component crashed in this process, or a step was abandoned: its state is unknown, and the
// rest of the batch runs elsewhere.
void MarkPoisoned();
bool ProcessPoisoned();

// A new batch: no step, nothing poisoned.
void ResetCallState();

// Runs step, a step of a component's code (its load, a call, its unload), watched through ops
// (its watchStep and waitForever) with limitSeconds; false, after waiting for ever where that
// returns, when the watchdog abandoned it.
template <typename Ops, typename Step> bool WatchedStep(const Ops &ops, uint32_t limitSeconds, Step step)
{
    BeginStep();
    ops.watchStep(true, limitSeconds);
    step();
    ops.watchStep(false, 0);
    if (EndStep())
        return true;
    ops.waitForever();
    return false;
}
