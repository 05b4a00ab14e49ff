#include "app/child/child_run.h"

#include <cstdio>
#include <cstring>

#include "base/bytes.h"

constexpr unsigned char RECORD_ROW = 'R';
constexpr unsigned char RECORD_END = 'E';
constexpr unsigned char RECORD_TEXT = 'K';
constexpr unsigned char RECORD_STEP = 'S';
constexpr size_t RECORD_HEAD = 3;
constexpr size_t ROW_FIXED = 4 + 1 + 1 + 4 + 4;

// A string with its 16-bit length; where the next field goes.
static unsigned char *PutString(unsigned char *at, const char *text, size_t length)
{
    WriteLittle16(at, static_cast<uint16_t>(length));
    std::memcpy(at + 2, text, length);
    return at + 2 + length;
}

size_t EncodeRowRecord(const RowReport &row, LeadByteTest isLeadByte, unsigned char *out, size_t size)
{
    const char *sources[4] = {row.path, row.fullPath, row.call, row.text};
    const size_t limits[4] = {PATH_BUFFER_SIZE, PATH_BUFFER_SIZE, CHILD_CALL_SIZE, CHILD_TEXT_SIZE};
    ChildRowText strings;
    char *targets[4] = {strings.path, strings.fullPath, strings.call, strings.text};
    size_t lengths[4];
    size_t body = ROW_FIXED;
    for (int i = 0; i < 4; i++)
    {
        const char *source = sources[i] != nullptr ? sources[i] : "";
        lengths[i] = CopyWholeCharacters(targets[i], limits[i], source, source + std::strlen(source), isLeadByte);
        body += 2 + lengths[i];
    }
    if (RECORD_HEAD + body > size)
        return 0;
    unsigned char *at = out;
    *at++ = RECORD_ROW;
    WriteLittle16(at, static_cast<uint16_t>(body));
    at += 2;
    WriteLittle32(at, static_cast<uint32_t>(row.code));
    at += 4;
    *at++ = static_cast<unsigned char>(row.kind);
    *at++ = row.called ? 1 : 0;
    WriteLittle32(at, static_cast<uint32_t>(row.result));
    at += 4;
    WriteLittle32(at, row.milliseconds);
    at += 4;
    for (int i = 0; i < 4; i++)
        at = PutString(at, targets[i], lengths[i]);
    return static_cast<size_t>(at - out);
}

size_t EncodeEndRecord(unsigned char *out, size_t size)
{
    if (size < RECORD_HEAD)
        return 0;
    out[0] = RECORD_END;
    WriteLittle16(out + 1, 0);
    return RECORD_HEAD;
}

size_t EncodeStepRecord(uint32_t limitSeconds, unsigned char *out, size_t size)
{
    if (size < RECORD_HEAD + 4)
        return 0;
    out[0] = RECORD_STEP;
    WriteLittle16(out + 1, 4);
    WriteLittle32(out + RECORD_HEAD, limitSeconds);
    return RECORD_HEAD + 4;
}

size_t EncodeTextRecord(const char *text, size_t length, unsigned char *out, size_t size)
{
    if (length > CHILD_TEXT_CHUNK || size < RECORD_HEAD + length)
        return 0;
    out[0] = RECORD_TEXT;
    WriteLittle16(out + 1, static_cast<uint16_t>(length));
    std::memcpy(out + RECORD_HEAD, text, length);
    return RECORD_HEAD + length;
}

// One string of a row's body at *at (end: the body's end) into out (limit bytes); false when it
// overruns the body or the buffer.
static bool TakeString(const unsigned char **at, const unsigned char *end, char *out, size_t limit)
{
    if (end - *at < 2)
        return false;
    const size_t length = ReadLittle16(*at);
    if (length >= limit || static_cast<size_t>(end - *at - 2) < length)
        return false;
    std::memcpy(out, *at + 2, length);
    out[length] = '\0';
    *at += 2 + length;
    return true;
}

ChildRecord DecodeChildRecord(const unsigned char *bytes, size_t count, size_t *used, RowReport *row,
                              ChildRowText *strings)
{
    if (count < RECORD_HEAD)
        return count > 0 && bytes[0] != RECORD_ROW && bytes[0] != RECORD_END && bytes[0] != RECORD_TEXT &&
                       bytes[0] != RECORD_STEP
                   ? CHILD_RECORD_BAD
                   : CHILD_RECORD_INCOMPLETE;
    const size_t body = ReadLittle16(bytes + 1);
    if (bytes[0] == RECORD_TEXT)
    {
        if (body > CHILD_TEXT_CHUNK)
            return CHILD_RECORD_BAD;
        if (count < RECORD_HEAD + body)
            return CHILD_RECORD_INCOMPLETE;
        strings->piece = reinterpret_cast<const char *>(bytes + RECORD_HEAD);
        strings->pieceLength = body;
        *used = RECORD_HEAD + body;
        return CHILD_RECORD_TEXT;
    }
    if (bytes[0] == RECORD_STEP)
    {
        if (body != 4)
            return CHILD_RECORD_BAD;
        if (count < RECORD_HEAD + body)
            return CHILD_RECORD_INCOMPLETE;
        strings->stepLimit = ReadLittle32(bytes + RECORD_HEAD);
        *used = RECORD_HEAD + body;
        return CHILD_RECORD_STEP;
    }
    if (bytes[0] == RECORD_END)
    {
        *used = RECORD_HEAD;
        return body == 0 ? CHILD_RECORD_END : CHILD_RECORD_BAD;
    }
    if (bytes[0] != RECORD_ROW || body < ROW_FIXED + 8 || RECORD_HEAD + body > CHILD_RECORD_MAX)
        return CHILD_RECORD_BAD;
    if (count < RECORD_HEAD + body)
        return CHILD_RECORD_INCOMPLETE;
    const unsigned char *at = bytes + RECORD_HEAD;
    const unsigned char *end = at + body;
    row->code = static_cast<int32_t>(ReadLittle32(at));
    const unsigned kind = at[4];
    row->called = at[5] != 0;
    row->result = static_cast<int32_t>(ReadLittle32(at + 6));
    row->milliseconds = ReadLittle32(at + 10);
    at += ROW_FIXED;
    if (kind > ROW_DONE_TEXT || !TakeString(&at, end, strings->path, sizeof strings->path) ||
        !TakeString(&at, end, strings->fullPath, sizeof strings->fullPath) ||
        !TakeString(&at, end, strings->call, sizeof strings->call) ||
        !TakeString(&at, end, strings->text, sizeof strings->text) || at != end)
        return CHILD_RECORD_BAD;
    row->kind = static_cast<RowKind>(kind);
    row->path = strings->path;
    row->fullPath = strings->fullPath;
    row->call = strings->call;
    row->text = strings->text;
    *used = RECORD_HEAD + body;
    return CHILD_RECORD_ROW;
}

static const char CHILD_ARGUMENT_PREFIX[] = "/*rows:";
static const char TWIN_SUFFIX[] = ":twin";

void FormatChildArgument(uint32_t pipe, uint64_t token, bool twin, char *out, size_t size)
{
    std::snprintf(out, size, "%s%08x%08x%08x%s", CHILD_ARGUMENT_PREFIX, static_cast<unsigned>(pipe),
                  static_cast<unsigned>(token >> 32), static_cast<unsigned>(token), twin ? TWIN_SUFFIX : "");
}

bool ParseChildArgument(const char *argument, uint32_t *pipe, uint64_t *token, bool *twin)
{
    const size_t prefix = sizeof CHILD_ARGUMENT_PREFIX - 1;
    if (std::strncmp(argument, CHILD_ARGUMENT_PREFIX, prefix) != 0)
        return false;
    const char *digits = argument + prefix;
    uint64_t values[2] = {0, 0}; // the pipe, then the token
    for (size_t count = 0; count < 24; count++)
    {
        const char c = digits[count];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        uint64_t &value = values[count < 8 ? 0 : 1];
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    const char *rest = digits + 24;
    if (values[0] == 0 || (rest[0] != '\0' && std::strcmp(rest, TWIN_SUFFIX) != 0))
        return false;
    *pipe = static_cast<uint32_t>(values[0]);
    *token = values[1];
    *twin = rest[0] != '\0';
    return true;
}

void ComposeChildEndedText(uint32_t exitCode, char *text, size_t size)
{
    std::snprintf(text, size,
                  "The TolVane process that handled this component ended before it reported the outcome, with "
                  "exit code 0x%08X: the component ended it, or crashed beyond recovery.",
                  static_cast<unsigned>(exitCode));
}

void ComposeChildGarbledText(char *text, size_t size)
{
    std::snprintf(text, size,
                  "The TolVane process that handled this component sent something that is not a row, so TolVane "
                  "ended it; the component may have been called, so it was not called again.");
}

void ComposeChildNotStartedText(const char *reason, char *text, size_t size)
{
    std::snprintf(text, size,
                  "An earlier component crashed, so TolVane registers the rest in a new process, which could not "
                  "be started: %s",
                  reason);
}
