#include "app/watchdog/watchdog_win.h"

#include <windows.h>
#include <cstring>

#include "app/watchdog/watchdog.h"

static HANDLE watchdogThread;
static volatile LONG callRunning;
static volatile LONG callStart;
static volatile LONG callLimit; // the time limit of the step that runs, in seconds; 0: none
static CRITICAL_SECTION noteLock;
static char notes[1024]; // what was answered during the component's calls

struct ShownWindows
{
    uintptr_t handles[WATCHED_WINDOWS_MAX];
    size_t count;
};

// The visible top-level windows of this process: in a silent run, TolVane shows none of its own.
static BOOL CALLBACK NoteShownWindow(HWND window, LPARAM context)
{
    ShownWindows *shown = reinterpret_cast<ShownWindows *>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && shown->count < WATCHED_WINDOWS_MAX)
        shown->handles[shown->count++] = reinterpret_cast<uintptr_t>(window);
    return TRUE;
}

// The text a window shows: a message box's own text, else its first static text.
static BOOL CALLBACK FindStaticText(HWND child, LPARAM context)
{
    char className[16];
    char *text = reinterpret_cast<char *>(context);
    if (GetClassNameA(child, className, sizeof className) == 0 || lstrcmpiA(className, "Static") != 0)
        return TRUE;
    char found[512];
    if (GetWindowTextA(child, found, sizeof found) == 0)
        return TRUE;
    if (text[0] == '\0' || GetDlgCtrlID(child) == 0xFFFF)
        lstrcpynA(text, found, 512);
    return GetDlgCtrlID(child) != 0xFFFF;
}

static bool IsPushButton(HWND control)
{
    char className[16];
    const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK;
    return control != nullptr && GetClassNameA(control, className, sizeof className) != 0 &&
           lstrcmpiA(className, "Button") == 0 && (style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON) &&
           IsWindowVisible(control) && IsWindowEnabled(control);
}

static BOOL CALLBACK FindDefaultPushButton(HWND child, LPARAM context)
{
    if (!IsPushButton(child) || (GetWindowLongPtrA(child, GWL_STYLE) & BS_TYPEMASK) != BS_DEFPUSHBUTTON)
        return TRUE;
    *reinterpret_cast<HWND *>(context) = child;
    return FALSE;
}

// The button that Enter would press: the push button with the focus, else the dialog's default
// button; null when there is none.
static HWND EnterButton(HWND window)
{
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndFocus != nullptr &&
        GetParent(thread.hwndFocus) == window && IsPushButton(thread.hwndFocus))
        return thread.hwndFocus;
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(window, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 500, &answer) != 0 &&
        HIWORD(answer) == DC_HASDEFID && IsPushButton(GetDlgItem(window, LOWORD(answer))))
        return GetDlgItem(window, LOWORD(answer));
    HWND found = nullptr;
    EnumChildWindows(window, FindDefaultPushButton, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Presses the button that Enter would, or closes a window that has none; notes what it said.
static void Answer(HWND window)
{
    char title[256] = "";
    char text[512] = "";
    GetWindowTextA(window, title, sizeof title);
    EnumChildWindows(window, FindStaticText, reinterpret_cast<LPARAM>(text));
    HWND button = EnterButton(window);
    char label[64] = "";
    if (button != nullptr)
    {
        GetWindowTextA(button, label, sizeof label);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    }
    else
    {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    char note[1024];
    ComposeWindowNote(button != nullptr ? label : nullptr, title, text, note, sizeof note);
    EnterCriticalSection(&noteLock);
    const size_t length = std::strlen(notes);
    if (length + 2 + std::strlen(note) < sizeof notes)
    {
        if (length > 0)
            lstrcatA(notes, " ");
        lstrcatA(notes, note);
    }
    LeaveCriticalSection(&noteLock);
}

static AbandonCallFunction batchAbandonCall;
static ExitValueFunction batchExitValue;

// A call past the time limit is abandoned: the rest of the batch goes on elsewhere, and this
// process ends under the call, which never returns.
static void EnforceTimeLimit(uint32_t limitSeconds)
{
    if (limitSeconds == 0 || GetTickCount() - static_cast<DWORD>(callStart) < limitSeconds * 1000u || !batchAbandonCall(limitSeconds))
        return;
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(batchExitValue()));
}

static DWORD WINAPI Watch(LPVOID started)
{
    SetEvent(static_cast<HANDLE>(started));
    WindowWatch watch = {};
    for (;;)
    {
        Sleep(WATCHDOG_TICK_MS);
        if (!callRunning)
        {
            watch.count = 0;
            continue;
        }
        ShownWindows shown = {};
        EnumWindows(NoteShownWindow, reinterpret_cast<LPARAM>(&shown));
        uintptr_t due[WATCHED_WINDOWS_MAX];
        const size_t dueCount = WatchWindows(&watch, shown.handles, shown.count, GetTickCount(), due);
        for (size_t i = 0; i < dueCount; i++)
            Answer(reinterpret_cast<HWND>(due[i]));
        EnforceTimeLimit(static_cast<uint32_t>(callLimit));
    }
}

void StartWatchdog(AbandonCallFunction abandonCall, ExitValueFunction exitValue)
{
    batchAbandonCall = abandonCall;
    batchExitValue = exitValue;
    InitializeCriticalSection(&noteLock);
    // The batch starts once the thread runs: a new thread takes the loader's lock and the heap's to
    // start, and the first component may hold either for ever.
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watchdogThread = CreateThread(nullptr, 64 * 1024, Watch, started, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (watchdogThread != nullptr && started != nullptr)
        WaitForSingleObject(started, INFINITE);
    if (started != nullptr)
        CloseHandle(started);
}

void WatchCall(bool running, uint32_t limitSeconds)
{
    if (watchdogThread == nullptr)
        return;
    // The limit and the start are in place before the watchdog can see the step running.
    InterlockedExchange(&callStart, static_cast<LONG>(GetTickCount()));
    InterlockedExchange(&callLimit, static_cast<LONG>(limitSeconds));
    InterlockedExchange(&callRunning, running ? 1 : 0);
}

bool TakeWindowNote(char *text, size_t size)
{
    if (watchdogThread == nullptr)
        return false;
    EnterCriticalSection(&noteLock);
    const bool any = notes[0] != '\0';
    if (any)
        lstrcpynA(text, notes, static_cast<int>(size));
    notes[0] = '\0';
    LeaveCriticalSection(&noteLock);
    return any;
}
