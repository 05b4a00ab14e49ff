// uidriver: runs TolVane and tells what it shows, or how long it takes.
//
//   uidriver report <screenshot.bmp | -> <close | wait> <program> [arguments...]
//
// Starts the program, and for every dialog it opens prints the title and text (a message box's
// text, a list's rows), saves a screenshot of the first one, and presses OK ("close") or leaves
// it to the person at the display ("wait"). Ends with the program's full 32-bit exit code.
//
//   uidriver time <program> [arguments...]
//
// Prints the milliseconds from the program's start to its exit, and its exit code.
//
//   uidriver time-results <rows> <program> [arguments...]
//
// Prints the milliseconds from the program's start until its results dialog shows a list of
// that many rows, painted; then presses OK.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver.h"

static std::string Quote(const char *argument)
{
    if (argument[0] != '\0' && std::strpbrk(argument, " \t\"") == nullptr)
        return argument;
    return std::string("\"") + argument + "\"";
}

static void PrintDialog(HWND dialog)
{
    std::printf("[%s]\n", WindowText(dialog).c_str());
    std::string text = MessageBoxText(dialog);
    if (!text.empty())
        std::printf("%s\n", text.c_str());
    HWND list = GetDlgItem(dialog, 1003);
    if (list != nullptr)
    {
        for (int row = 0; row < ListItemCount(list); row++)
            std::printf("%s | %s | %s\n", ListItemText(list, row, 0).c_str(), ListItemText(list, row, 1).c_str(),
                        ListItemText(list, row, 2).c_str());
    }
    std::fflush(stdout);
}

static std::string JoinArguments(int argc, char **argv, int first)
{
    std::string arguments;
    for (int i = first; i < argc; i++)
        arguments += (arguments.empty() ? "" : " ") + Quote(argv[i]);
    return arguments;
}

static double Milliseconds(const LARGE_INTEGER &from)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

static int Report(int argc, char **argv)
{
    const char *shotPath = argv[2];
    bool closeDialogs = std::strcmp(argv[3], "close") == 0;
    Launched program = {};
    if (!LaunchProgram(argv[4], JoinArguments(argc, argv, 5), nullptr, &program))
    {
        std::fprintf(stderr, "uidriver: cannot start %s (error %lu)\n", argv[4], GetLastError());
        return 2;
    }
    bool shotTaken = std::strcmp(shotPath, "-") == 0;
    HWND last = nullptr;
    DWORD exitCode = 0;
    while (!WaitForExit(program, 0, &exitCode))
    {
        HWND dialog = WaitForAnyDialog(program.processId, 200);
        if (dialog == nullptr || dialog == last)
            continue;
        last = dialog;
        PrintDialog(dialog);
        if (!shotTaken)
        {
            Sleep(300);
            shotTaken = SaveCapture(CaptureClient(dialog), shotPath);
        }
        if (closeDialogs)
            PressButton(dialog, IDOK);
    }
    std::printf("exit code: 0x%08lX (%ld)\n", exitCode, static_cast<long>(exitCode));
    CloseHandle(program.process);
    return 0;
}

// Starts argv[at] with the arguments after it, noting the moment just before the start.
static bool StartTimed(int argc, char **argv, int at, LARGE_INTEGER *start, Launched *program)
{
    const std::string arguments = JoinArguments(argc, argv, at + 1);
    QueryPerformanceCounter(start);
    return LaunchProgram(argv[at], arguments, nullptr, program);
}

static int Time(int argc, char **argv)
{
    LARGE_INTEGER start;
    Launched program = {};
    if (!StartTimed(argc, argv, 2, &start, &program))
        return 2;
    DWORD exitCode = 0;
    WaitForExit(program, INFINITE, &exitCode);
    const double elapsed = Milliseconds(start);
    std::printf("%.2f 0x%08lX\n", elapsed, exitCode);
    CloseHandle(program.process);
    return 0;
}

static int TimeResults(int argc, char **argv)
{
    const int rows = std::atoi(argv[2]);
    LARGE_INTEGER start;
    Launched program = {};
    if (!StartTimed(argc, argv, 3, &start, &program))
        return 2;
    // Shown and painted: the program waits for input for the first time, which it does once its
    // dialog has been drawn; then the dialog must be there with all its rows. Polling for the
    // window instead would load the wineserver that the program itself needs.
    double elapsed = -1;
    for (int attempt = 0; attempt < 1000 && elapsed < 0; attempt++)
    {
        WaitForInputIdle(program.process, 60000);
        const double idle = Milliseconds(start);
        HWND dialog = FindWindowA("#32770", "Multidrop Registration Results");
        HWND list = dialog != nullptr ? GetDlgItem(dialog, 1003) : nullptr;
        if (list != nullptr && IsWindowVisible(dialog) && ListItemCount(list) == rows &&
            !GetUpdateRect(dialog, nullptr, FALSE) && !GetUpdateRect(list, nullptr, FALSE))
        {
            elapsed = idle;
            PressButton(dialog, IDOK);
        }
        else
        {
            Sleep(10);
        }
    }
    DWORD exitCode = 0;
    WaitForExit(program, 60000, &exitCode);
    std::printf("%.2f 0x%08lX\n", elapsed, exitCode);
    Dispose(program);
    return elapsed < 0 ? 1 : 0;
}

int main(int argc, char **argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "report") == 0)
        return Report(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "time") == 0)
        return Time(argc, argv);
    if (argc >= 4 && std::strcmp(argv[1], "time-results") == 0)
        return TimeResults(argc, argv);
    std::fprintf(stderr, "usage: uidriver report <screenshot.bmp|-> <close|wait> <program> [arguments...]\n"
                         "       uidriver time <program> [arguments...]\n"
                         "       uidriver time-results <rows> <program> [arguments...]\n");
    return 2;
}
