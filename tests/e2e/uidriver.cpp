// uidriver: runs TolVane and tells what it shows.
//
//   uidriver report <screenshot.bmp | -> <close | wait> <program> [arguments...]
//
// Starts the program, and for every dialog it opens prints the title and text (a message box's
// text, a list's rows), saves a screenshot of the first one, and presses OK ("close") or leaves
// it to the person at the display ("wait"). Ends with the program's full 32-bit exit code.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
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

int main(int argc, char **argv)
{
    if (argc < 5 || std::strcmp(argv[1], "report") != 0)
    {
        std::fprintf(stderr, "usage: uidriver report <screenshot.bmp|-> <close|wait> <program> [arguments...]\n");
        return 2;
    }
    const char *shotPath = argv[2];
    bool closeDialogs = std::strcmp(argv[3], "close") == 0;
    std::string arguments;
    for (int i = 5; i < argc; i++)
        arguments += (arguments.empty() ? "" : " ") + Quote(argv[i]);

    Launched program = {};
    if (!LaunchProgram(argv[4], arguments, nullptr, &program))
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
