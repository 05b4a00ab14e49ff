#pragma once
// Components of the other bitness: a 32-bit program cannot load a 64-bit component, nor the
// other way round. Such a component is handed to the program's twin of the other bitness
// beside it, tolvane.exe (32-bit) or tolvane64.exe (64-bit). Window-free: what it needs of a
// file's header is read here, from bytes handed in.
#include <cstddef>
#include <cstdint>

#include "base/pe_image.h"

// The twin's file name for a component of this machine ("tolvane.exe" for i386, "tolvane64.exe"
// for AMD64), or null for a machine that neither program loads.
const char *TwinProgramName(uint16_t machine);

// The row text when a component of another machine cannot be handed on: it names the program
// that registers it, or the machine that neither program loads.
void ComposeOtherMachineText(uint16_t machine, char *text, size_t size);

struct ChildOps;
struct OptionList;
struct SystemOps;

// A component that the loader refused as no valid module (error) and that is built for another
// machine, by its first bytes: the twin of the other bitness registers it with these options and
// its row becomes the component's (path); without a twin, or for a machine neither program loads,
// the row says so. False, with no row, for any other component.
bool HandToTwin(char *path, const char *fullPath, uint32_t error, const OptionList &options,
                const SystemOps &system, const ChildOps &ops);
