#include "report/log_win.h"

#include <cstdlib>

#include "report/log.h"
#include "version.h"

static HANDLE logFile = INVALID_HANDLE_VALUE;

static uint32_t logWriteError; // the first write that failed: the run's exit code says so

// UTF-8 from the ANSI code page, in a buffer sized from the text (to be freed); null when it cannot
// be converted.
static char *Utf8(const char *ansi)
{
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    wchar_t *wide =
        wideLength > 0 ? static_cast<wchar_t *>(std::malloc(static_cast<size_t>(wideLength) * sizeof(wchar_t))) : nullptr;
    char *out = nullptr;
    if (wide != nullptr && MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, wideLength) > 0)
    {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        out = size > 0 ? static_cast<char *>(std::malloc(static_cast<size_t>(size))) : nullptr;
        if (out != nullptr)
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, size, nullptr, nullptr);
    }
    std::free(wide);
    return out;
}

static bool WriteToLog(const char *bytes, size_t length, size_t *written, uint32_t *error)
{
    DWORD count = 0;
    const bool wrote = WriteFile(logFile, bytes, static_cast<DWORD>(length), &count, nullptr) != FALSE;
    *written = count;
    *error = wrote ? 0 : GetLastError();
    return wrote;
}

static LogTime Now()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return LogTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

// One line, in one write to a handle that appends: runs that share the log interleave whole lines.
// The write is made under a lock of one byte far beyond any log's end, which the runs that share
// the log take in turn: Wine appends by finding the end first, and two runs could find the same.
static void WriteLine(const char *line, size_t length)
{
    OVERLAPPED beyond = {};
    beyond.Offset = 0xFFFFFFFF;
    beyond.OffsetHigh = 0x7FFFFFFF;
    const bool locked = LockFileEx(logFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &beyond) != FALSE;
    WriteLogLine(WriteToLog, line, length, &logWriteError);
    if (locked)
        UnlockFileEx(logFile, 0, 1, 0, &beyond);
}

bool OpenLog(const char *path, DWORD *error)
{
    // Read access too: a handle that may only append cannot take the lock.
    logFile = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (logFile == INVALID_HANDLE_VALUE)
    {
        *error = GetLastError();
        return false;
    }
    // The command line as it was given, wide, so that nothing of it is lost to the code page.
    const wchar_t *wide = GetCommandLineW();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    char *commandLine = size > 0 ? static_cast<char *>(std::malloc(static_cast<size_t>(size))) : nullptr;
    if (commandLine != nullptr)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, commandLine, size, nullptr, nullptr);
    const size_t lineSize = static_cast<size_t>(size > 0 ? size : 0) + 128;
    char *line = static_cast<char *>(std::malloc(lineSize));
    if (line != nullptr)
        WriteLine(line, ComposeLogHeader(Now(), TOLVANE_VERSION_TEXT, commandLine != nullptr ? commandLine : "", line,
                                         lineSize));
    std::free(line);
    std::free(commandLine);
    return true;
}

void LogRow(const RowReport &row)
{
    if (logFile == INVALID_HANDLE_VALUE)
        return;
    static char line[LOG_LINE_SIZE];
    char *fullPath = Utf8(row.fullPath);
    char *text = Utf8(row.text);
    WriteLine(line, ComposeLogLine(Now(), row.call, fullPath != nullptr ? fullPath : "", row.code,
                                   text != nullptr ? text : "", row.milliseconds, line, sizeof line));
    std::free(fullPath);
    std::free(text);
}

uint32_t LogWriteError()
{
    return logWriteError;
}
