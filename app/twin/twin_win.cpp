#include "app/twin/twin_win.h"

#include <windows.h>

#include "app/child/child_run_win.h"
#include "app/paths/path_parts.h"
#include "base/system_win.h"

bool twinRun;


// The twin's full path, beside this program; false when there is none that may be run.
static bool FindTwin(char *twin, size_t size)
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return false;
    const char *name = TwinProgramName(PROGRAM_MACHINE == MACHINE_AMD64 ? MACHINE_I386 : MACHINE_AMD64);
    char folder[PATH_BUFFER_SIZE], joined[PATH_BUFFER_SIZE];
    FolderOf(self, WinIsLeadByte, folder);
    if (!MakePath(joined, nullptr, folder, name, nullptr, WinIsLeadByte))
        return false;
    DWORD full = GetFullPathNameA(joined, static_cast<DWORD>(size), twin, nullptr);
    if (full == 0 || full >= size)
        return false;
    // A copy of this program named after its twin must never start itself.
    if (WinSameFile(twin, self))
        return false;
    unsigned char bytes[IMAGE_HEADER_READ_SIZE];
    ImageHeader header;
    const size_t count = ReadFileStart(twin, bytes, sizeof bytes);
    return ReadImageHeader(bytes, count, &header) && header.program &&
           (header.machine == MACHINE_I386 || header.machine == MACHINE_AMD64);
}

bool RunTwin(const char *fullPath, const OptionList &options, ChildRowSink sink, void *context, ChildEnd *end)
{
    char twin[MAX_PATH];
    wchar_t wideTwin[MAX_PATH];
    wchar_t widePath[MAX_PATH];
    if (twinRun || !FindTwin(twin, sizeof twin) || MultiByteToWideChar(CP_ACP, 0, twin, -1, wideTwin, MAX_PATH) == 0 ||
        MultiByteToWideChar(CP_ACP, 0, fullPath, -1, widePath, MAX_PATH) == 0)
        return false;
    char folder[PATH_BUFFER_SIZE];
    FolderOf(fullPath, WinIsLeadByte, folder);
    const wchar_t *arguments[1] = {widePath};
    return RunChildProcess(wideTwin, true, options, arguments, 1, folder[0] != '\0' ? folder : nullptr, sink, context,
                           end);
}
