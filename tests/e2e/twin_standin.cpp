// A stand-in for the program's twin of the other bitness, for the hand-off tests: this machine
// may not run a program of the other bitness, so a program of the test build's own bitness takes
// the twin's name. It appends "<command line>|<current folder>|<TOLVANE_HANDED_OFF>" to the file
// named by TOLVANE_TEST_LOG, with the pipe handle in its private first argument written as '#'.
// When TOLVANE_TEST_TWIN_ROW holds "<code>|<kind>|<result>|<text>" it reports that row for its
// last argument through the pipe, as the twin does, and then its end; without it, it reports
// nothing, as a twin that ends in the component's call. It exits with the code in
// TOLVANE_TEST_TWIN_EXIT (decimal or 0x hex).
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/child/child_run.h"

static std::string Variable(const char *name)
{
    char value[1024] = "";
    GetEnvironmentVariableA(name, value, sizeof value);
    return value;
}

int main(int argc, char **argv)
{
    std::string line = GetCommandLineA();
    const size_t mark = line.find("/*rows:");
    if (mark != std::string::npos)
        line.replace(mark + 7, line.find_first_not_of("0123456789abcdef", mark + 7) - (mark + 7), "#");
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    const std::string logPath = Variable("TOLVANE_TEST_LOG");
    if (!logPath.empty())
    {
        FILE *log = std::fopen(logPath.c_str(), "a");
        if (log != nullptr)
        {
            std::fprintf(log, "%s|%s|%s\n", line.c_str(), folder, Variable("TOLVANE_HANDED_OFF").c_str());
            std::fclose(log);
        }
    }

    uint32_t pipe = 0;
    uint64_t token = 0;
    bool twin = false;
    const std::string row = Variable("TOLVANE_TEST_TWIN_ROW");
    if (argc >= 3 && ParseChildArgument(argv[1], &pipe, &token, &twin) && !row.empty())
    {
        char *rest = nullptr;
        RowReport reported = {};
        reported.path = argv[argc - 1];
        reported.code = static_cast<int32_t>(std::strtoul(row.c_str(), &rest, 0));
        reported.kind = static_cast<RowKind>(std::strtoul(rest + 1, &rest, 0));
        reported.called = true;
        reported.result = static_cast<int32_t>(std::strtoul(rest + 1, &rest, 0));
        reported.text = rest + 1;
        reported.fullPath = argv[argc - 1];
        reported.call = "register";
        unsigned char record[CHILD_RECORD_MAX];
        size_t length = EncodeRowRecord(reported, NoLeadBytes, record, sizeof record);
        length += EncodeEndRecord(record + length, sizeof record - length);
        DWORD written = 0;
        WriteFile(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(pipe)), record, static_cast<DWORD>(length), &written,
                  nullptr);
    }
    return static_cast<int>(std::strtoul(Variable("TOLVANE_TEST_TWIN_EXIT").c_str(), nullptr, 0));
}
