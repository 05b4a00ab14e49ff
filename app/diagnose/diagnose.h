#pragma once
// The plain words that follow a failed row's system text: the dependency that is missing or of the
// other bitness, the function a DLL lacks, what kind of file lacks the entry point, why access is
// denied, what a .NET host's code means. Reads PE files without loading them, and only after a
// failure. Window-free: the file system, the KnownDLLs list and the process token are handed in.
#include <cstddef>
#include <cstdint>

#include "base/run_state.h"
#include "base/text.h"

constexpr size_t DIAGNOSE_MAX_DEPTH = 16;                 // modules in a chain from the component
constexpr size_t DIAGNOSE_MAX_MODULES = 256;              // distinct modules walked
constexpr size_t DIAGNOSE_MAX_BYTES = 256u * 1024 * 1024; // bytes read in one walk

struct DiagnoseOps
{
    // The whole file at path (at most PE_MAX_FILE bytes) into a malloc'd buffer that the caller
    // frees; false when it cannot be read.
    bool (*readFile)(const char *path, unsigned char **bytes, size_t *size);
    // Where the loader finds module name for a component in componentFolder (which ends in a
    // separator), in its order: that folder, the system folder, the Windows folder, the current
    // folder, PATH. The full path into out (size bytes); false when it is nowhere.
    bool (*findModule)(const char *name, const char *componentFolder, char *out, size_t size);
    bool (*isKnownDll)(const char *name); // listed under KnownDLLs
    bool (*isElevated)();                 // the process token is elevated
    LeadByteTest isLeadByte;
};

// The explanation to follow a failed row's system text, into text (size bytes). code is the row's:
// 126 or 193 (a dependency missing or of the other bitness), 127 (a function missing),
// RESULT_ENTRY_POINT_NOT_FOUND, 5, 0x80070005 or 0x8002801C (access denied), 0x80008081 to
// 0x800080A5 (a .NET host's codes); fullPath names the component; programMachine is this
// program's. False, and text empty, when there is nothing to add.
bool ExplainFailure(int32_t code, const char *fullPath, uint16_t programMachine, const DiagnoseOps &ops, char *text,
                    size_t size);

// The operations and this program's machine that ExplainRow uses.
void UseDiagnosis(const DiagnoseOps &ops, uint16_t programMachine);

// A failed row's explanation, for the results table (a RowExplainer): why the load or the entry
// point failed (only for the codes the pipeline itself set), or why access was denied.
bool ExplainRow(int32_t code, RowKind kind, const char *fullPath, char *text, size_t size);
