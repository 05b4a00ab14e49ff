#pragma once
// Running the twin of the other bitness (tolvane.exe beside tolvane64.exe, and the other way
// round) for a component this program cannot load.
#include <cstddef>
#include <cstdint>

#include "app/handoff.h"

// The environment variable that marks a run started by a hand-off: such a run never hands a
// component on again, so no chain of programs can arise.
extern const char HANDED_OFF_VARIABLE[];

// The machine this program is built for, as PE headers name it.
#if defined(_WIN64)
constexpr uint16_t PROGRAM_MACHINE = MACHINE_AMD64;
#else
constexpr uint16_t PROGRAM_MACHINE = MACHINE_I386;
#endif

// The first bytes of a file; the count read, 0 when it cannot be read.
size_t ReadFileStart(const char *path, unsigned char *bytes, size_t size);

// Runs "<twin> /S [/U] <fullPath>" in the component's folder and waits for it. False when there
// is no twin to run: in a run a hand-off started; when the twin is missing, is not a program for
// an x86 or x64 machine, is this very program, or does not start.
bool RunTwin(const char *fullPath, bool unregister, uint32_t *exitCode);
