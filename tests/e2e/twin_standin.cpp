// A stand-in for the program's twin of the other bitness, for the hand-off tests: this machine
// cannot run a 32-bit program, so a program of the test build's own bitness takes the twin's
// name. It appends "<command line>|<current folder>|<TOLVANE_HANDED_OFF>" to the file named by
// TOLVANE_TEST_LOG and exits with the code in TOLVANE_TEST_TWIN_EXIT (decimal or 0x hex).
#include <windows.h>
#include <cstdio>
#include <cstdlib>

int main()
{
    char logPath[MAX_PATH] = "";
    char folder[MAX_PATH] = "";
    char handedOff[16] = "";
    char exitText[32] = "0";
    GetEnvironmentVariableA("TOLVANE_TEST_LOG", logPath, sizeof logPath);
    GetEnvironmentVariableA("TOLVANE_HANDED_OFF", handedOff, sizeof handedOff);
    GetEnvironmentVariableA("TOLVANE_TEST_TWIN_EXIT", exitText, sizeof exitText);
    GetCurrentDirectoryA(sizeof folder, folder);
    if (logPath[0] != '\0')
    {
        FILE *log = std::fopen(logPath, "a");
        if (log != nullptr)
        {
            std::fprintf(log, "%s|%s|%s\n", GetCommandLineA(), folder, handedOff);
            std::fclose(log);
        }
    }
    return static_cast<int>(std::strtoul(exitText, nullptr, 0));
}
