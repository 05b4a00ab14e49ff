#pragma once
// The state of the step that runs a component's code now (an entry point, a type library's
// registration, a manifest's check): none, running, or abandoned by the watchdog past the time
// limit, when another thread owns the run. And whether this process can still be trusted.
// Window-free.

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
