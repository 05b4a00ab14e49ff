#include "app/typelib/typelib.h"

#include "app/platform.h"
#include "app/results_table.h"
#include "base/pe_image.h"

bool IsTypeLibraryFile(const char *fullPath, uint32_t error, const SystemOps &system)
{
    unsigned char bytes[8];
    return error == RESULT_BAD_EXE_FORMAT && IsTypeLibrary(bytes, system.readFileStart(fullPath, bytes, sizeof bytes));
}
