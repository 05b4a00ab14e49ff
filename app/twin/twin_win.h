#pragma once
// Running the twin of the other bitness (tolvane.exe beside tolvane64.exe, and the other way
// round) for a component this program cannot load.
#include <cstddef>
#include <cstdint>

#include "app/child/child_run.h"
#include "app/twin/twin.h"

// Set in a run that is a twin's: it never hands a component on again, so no chain of programs can
// arise.
extern bool twinRun;

// The machine this program is built for, as PE headers name it.
#if defined(_WIN64)
constexpr uint16_t PROGRAM_MACHINE = MACHINE_AMD64;
#else
constexpr uint16_t PROGRAM_MACHINE = MACHINE_I386;
#endif

// Runs the twin as a child run (app/child) on fullPath, in the component's folder, and waits for
// it; its rows go to sink. False when there is no twin to run: in a twin's run; when the twin is
// missing, is not a program for an x86 or x64 machine, is this very program, or does not start.
bool RunTwin(const char *fullPath, const OptionList &options, ChildRowSink sink, void *context, ChildEnd *end);
