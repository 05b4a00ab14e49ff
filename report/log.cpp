#include "report/log.h"

#include <cstdio>

// Appends text at *length, each tab, carriage return or line feed as a blank, keeping room for the
// line end and the terminator.
static void PutField(char *out, size_t size, size_t *length, const char *text)
{
    for (; *text != '\0' && *length + 3 < size; text++)
        out[(*length)++] = *text == '\t' || *text == '\r' || *text == '\n' ? ' ' : *text;
}

// Appends text as it is, keeping the same room.
static void PutRaw(char *out, size_t size, size_t *length, const char *text)
{
    for (; *text != '\0' && *length + 3 < size; text++)
        out[(*length)++] = *text;
}

static size_t EndLine(char *out, size_t *length)
{
    out[(*length)++] = '\r';
    out[(*length)++] = '\n';
    out[*length] = '\0';
    return *length;
}

size_t ComposeLogHeader(const LogTime &time, const char *version, const char *commandLine, char *out, size_t size)
{
    if (size < 3)
        return 0;
    int written = std::snprintf(out, size - 2, "# %04d-%02d-%02d %02d:%02d:%02d UTC, TolVane %s: ", time.year,
                                time.month, time.day, time.hour, time.minute, time.second, version);
    size_t length = written < 0 ? 0 : static_cast<size_t>(written) < size - 2 ? static_cast<size_t>(written) : size - 3;
    PutField(out, size, &length, commandLine);
    return EndLine(out, &length);
}

size_t ComposeLogLine(const LogTime &time, const char *call, const char *fullPath, int32_t code, const char *text,
                      uint32_t milliseconds, char *out, size_t size)
{
    if (size < 3)
        return 0;
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ\t", time.year, time.month, time.day,
                  time.hour, time.minute, time.second, time.millisecond);
    char number[16];
    char elapsed[16];
    std::snprintf(number, sizeof number, "\t0x%08x\t", static_cast<unsigned>(code));
    std::snprintf(elapsed, sizeof elapsed, "\t%u", static_cast<unsigned>(milliseconds));
    size_t length = 0;
    PutRaw(out, size, &length, stamp);
    PutField(out, size, &length, call);
    PutRaw(out, size, &length, "\t");
    PutField(out, size, &length, fullPath);
    PutRaw(out, size, &length, number);
    PutField(out, size, &length, text);
    PutRaw(out, size, &length, elapsed);
    return EndLine(out, &length);
}

bool WriteLogLine(LogWrite write, const char *line, size_t length, uint32_t *firstError)
{
    size_t written = 0;
    uint32_t error = 0;
    const bool whole = write(line, length, &written, &error) && written == length;
    if (!whole && *firstError == 0)
        *firstError = error != 0 ? error : 112; // ERROR_DISK_FULL: a short write means no room was left
    return whole;
}
