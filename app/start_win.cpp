// The program's entry point, in place of the C runtime's start-up code. TolVane needs nothing that
// code does: it reads its own command line, has no static constructors, no thread-local data and
// no stdio streams, and msvcrt.dll sets itself up when it is loaded. What it does need of it is
// here: the TLS directory, through which the loader calls the process-end listener.
#include <windows.h>
#include <cstdarg>
#include <cstdio>

#include "app/guard/process_end_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int);

// What follows the program's name on the command line, as the runtime hands it to WinMain: the
// name runs to the first blank outside quotation marks, and the blanks after it are skipped.
static char *CommandTail(char *line)
{
    bool quoted = false;
    for (; *line != '\0' && (quoted || (*line != ' ' && *line != '\t')); line++)
        quoted = quoted != (*line == '"');
    while (*line == ' ' || *line == '\t')
        line++;
    return line;
}

extern "C" __attribute__((used)) void WinMainCRTStartup()
{
    ExitProcess(
        static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, CommandTail(GetCommandLineA()), SW_SHOWDEFAULT)));
}

// The TLS directory, which the loader reads for the callbacks it calls as threads and the process
// start and end: the process-end listener's. The program has no thread-local data.
extern "C"
{
    ULONG _tls_index;
    static const PIMAGE_TLS_CALLBACK tlsCallbacks[] = {ProcessEndCallback, nullptr};
    static const char noThreadData = 0;
    __attribute__((used)) extern const IMAGE_TLS_DIRECTORY _tls_used = {reinterpret_cast<ULONG_PTR>(&noThreadData),
                                                                        reinterpret_cast<ULONG_PTR>(&noThreadData),
                                                                        reinterpret_cast<ULONG_PTR>(&_tls_index),
                                                                        reinterpret_cast<ULONG_PTR>(tlsCallbacks),
                                                                        0,
                                                                        0};
}

// libstdc++'s headers always ask for MinGW's own printf, which would bring its whole floating-point
// formatter along. The formats the program uses are the system's (msvcrt's), here with the text
// always terminated and the whole length returned, as C99 has it.
extern "C" int __cdecl __mingw_vsnprintf(char *text, size_t size, const char *format, va_list values)
{
    va_list again;
    va_copy(again, values);
    int length = _vsnprintf(text, size, format, values);
    if (length < 0 || static_cast<size_t>(length) >= size)
    {
        if (size > 0)
            text[size - 1] = '\0';
        length = _vscprintf(format, again);
        if (length < static_cast<int>(size)) // never a length that says it fitted
            length = static_cast<int>(size);
    }
    va_end(again);
    return length;
}
