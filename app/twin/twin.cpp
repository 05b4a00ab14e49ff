#include "app/twin/twin.h"

#include <cstdio>
#include <cstring>

#include "app/child/child_run.h"
#include "app/rest/rest_run.h"
#include "app/results_table.h"


const char *TwinProgramName(uint16_t machine)
{
    switch (machine)
    {
    case MACHINE_I386:
        return "tolvane.exe";
    case MACHINE_AMD64:
        return "tolvane64.exe";
    default:
        return nullptr;
    }
}

void ComposeOtherMachineText(uint16_t machine, char *text, size_t size)
{
    switch (machine)
    {
    case MACHINE_AMD64:
        std::snprintf(text, size, "This is a 64-bit component; tolvane64.exe beside this program registers it.");
        return;
    case MACHINE_I386:
        std::snprintf(text, size, "This is a 32-bit component; tolvane.exe beside this program registers it.");
        return;
    case 0xAA64:
        std::snprintf(text, size, "This component is built for ARM64 Windows, which TolVane cannot load.");
        return;
    case 0x01C0:
    case 0x01C2:
    case 0x01C4:
        std::snprintf(text, size, "This component is built for ARM Windows, which TolVane cannot load.");
        return;
    case 0x0200:
        std::snprintf(text, size, "This component is built for Itanium (IA-64) Windows, which TolVane cannot load.");
        return;
    default:
        std::snprintf(text, size, "This component is built for machine type 0x%04X, which TolVane cannot load.",
                      static_cast<unsigned>(machine));
        return;
    }
}

// Takes the row that the twin reports for a component (one; any more are not the component's).
struct TwinRows
{
    char *path;
    int count;
};

static void TakeTwinRow(const RowReport &row, void *context)
{
    TwinRows *rows = static_cast<TwinRows *>(context);
    if (rows->count++ == 0)
        AppendRow(rows->path, row.text, row.code, row.kind, row.called, row.result);
}

bool HandToTwin(char *path, const char *fullPath, uint32_t error, const OptionList &options,
                const SystemOps &system, const ChildOps &ops)
{
    unsigned char bytes[IMAGE_HEADER_READ_SIZE];
    ImageHeader header;
    if (error != RESULT_BAD_EXE_FORMAT ||
        !ReadImageHeader(bytes, system.readFileStart(fullPath, bytes, sizeof bytes), &header) ||
        header.machine == system.programMachine)
        return false;
    TwinRows rows = {path, 0};
    ChildEnd end = {};
    if (TwinProgramName(header.machine) == nullptr || !ops.runTwin(fullPath, options, TakeTwinRow, &rows, &end))
    {
        char text[ROW_TEXT_SIZE];
        ComposeOtherMachineText(header.machine, text, sizeof text);
        AppendRow(path, text, RESULT_BAD_EXE_FORMAT, ROW_OWN_TEXT);
    }
    else if (rows.count == 0)
        AppendChildEnded(path, end);
    return true;
}
