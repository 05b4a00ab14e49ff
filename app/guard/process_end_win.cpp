#include "app/guard/process_end_win.h"

#include <windows.h>

static PendingStepFunction pendingStep;
static RowFunction reportRow;

// The row of the component whose step runs as the process ends, once.
static void ReportEndedUnderCall()
{
    static volatile LONG reported;
    RowReport row = {};
    if (pendingStep == nullptr || !pendingStep(&row) || InterlockedExchange(&reported, 1) != 0)
        return;
    // The exit code the component chose is set only once the process is gone, on Wine at least.
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(GetCurrentProcess(), &exitCode);
    char text[160];
    if (exitCode != STILL_ACTIVE)
        wsprintfA(text, "The component ended the process with exit code %d.", static_cast<int>(exitCode));
    else
        lstrcpyA(text, "The component ended the process while its entry point ran; the exit code it chose cannot be "
                       "seen from inside the process.");
    row.text = text;
    row.code = exitCode != STILL_ACTIVE ? static_cast<int32_t>(exitCode) : ERROR_PROCESS_ABORTED;
    row.kind = ROW_OWN_TEXT;
    row.called = true;
    row.result = row.code;
    reportRow(row);
}

void NTAPI ProcessEndCallback(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        ReportEndedUnderCall();
}

static void WINAPI OnFiberDataFreed(PVOID)
{
    ReportEndedUnderCall();
}

// With the C runtime's start-up code, its TLS directory lists the callbacks in these sections;
// without it, the program's own directory lists this one (app/start_win.cpp).
#if defined(_MSC_VER)
#pragma comment(linker, "/INCLUDE:_tls_used")
#pragma section(".CRT$XLB", read)
extern "C" __declspec(allocate(".CRT$XLB")) PIMAGE_TLS_CALLBACK tolvaneProcessDetach = ProcessEndCallback;
#elif !defined(TOLVANE_OWN_START)
extern "C"
{
    __attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK tolvaneProcessDetach = ProcessEndCallback;
}
#endif

void ListenForProcessEnd(PendingStepFunction pending, RowFunction report)
{
    pendingStep = pending;
    reportRow = report;
    typedef DWORD(WINAPI * FlsAllocProc)(PFLS_CALLBACK_FUNCTION);
    typedef BOOL(WINAPI * FlsSetValueProc)(DWORD, PVOID);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FlsAllocProc flsAlloc =
        kernel ? reinterpret_cast<FlsAllocProc>(reinterpret_cast<void *>(GetProcAddress(kernel, "FlsAlloc"))) : nullptr;
    FlsSetValueProc flsSetValue =
        kernel ? reinterpret_cast<FlsSetValueProc>(reinterpret_cast<void *>(GetProcAddress(kernel, "FlsSetValue")))
               : nullptr;
    if (flsAlloc == nullptr || flsSetValue == nullptr)
        return;
    const DWORD index = flsAlloc(OnFiberDataFreed);
    if (index != FLS_OUT_OF_INDEXES)
        flsSetValue(index, reinterpret_cast<PVOID>(1));
}
