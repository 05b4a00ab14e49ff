#pragma once
// The log of a run (/L:file): a header line for each run, then one line per component, as its row
// comes. Lines are UTF-8 with CR LF ends; a row's fields are separated by tabs. Window-free: the
// texts come in UTF-8, the time from the caller.
#include <cstddef>
#include <cstdint>

struct LogTime // in UTC
{
    int year, month, day, hour, minute, second, millisecond;
};

constexpr size_t LOG_LINE_SIZE = 16384; // enough for any line: a path and a row text in UTF-8

// "# 2026-12-09 02:19:26 UTC, TolVane 3.1.0: <command line>" and the line end.
size_t ComposeLogHeader(const LogTime &time, const char *version, const char *commandLine, char *out, size_t size);

// "2026-12-09T02:19:26.123Z<tab>register<tab>C:\x\ok.dll<tab>0x00000000<tab>Registered successfully<tab>12"
// and the line end. A tab or a line end inside a field becomes a blank, so that every line is one
// row of six fields. Returns the length; a line that does not fit is cut, and still ends its line.
size_t ComposeLogLine(const LogTime &time, const char *call, const char *fullPath, int32_t code, const char *text,
                      uint32_t milliseconds, char *out, size_t size);

// Writes a line whole through write (which gives the bytes written, or false with the system's
// error). A line written in part, or not at all, is a failure: the first failure's error stays
// in *firstError (0: none yet), for the run's exit code.
typedef bool (*LogWrite)(const char *bytes, size_t length, size_t *written, uint32_t *error);
bool WriteLogLine(LogWrite write, const char *line, size_t length, uint32_t *firstError);
