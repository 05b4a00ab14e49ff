// Child runs: the command line a child is started with, the private argument that marks it, and
// the records its rows travel in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/child/child_run.h"

namespace
{

TEST(ChildCommandLine, QuotedByTheUsualRules)
{
    const struct
    {
        std::vector<const wchar_t *> arguments;
        bool unregister;
        const wchar_t *commandLine;
    } cases[] = {
        {{L"C:\\x\\grid.ocx"}, false, L"\"C:\\p\\tolvane64.exe\" /*rows:1a4 /S C:\\x\\grid.ocx"},
        {{L"C:\\My Components\\grid.ocx"},
         true,
         L"\"C:\\p\\tolvane64.exe\" /*rows:1a4 /S /U \"C:\\My Components\\grid.ocx\""},
        // Backslashes before a quotation mark, or before the closing one, are doubled.
        {{L"C:\\x y\\"}, false, L"\"C:\\p\\tolvane64.exe\" /*rows:1a4 /S \"C:\\x y\\\\\""},
        {{L"a\\\"b"}, false, L"\"C:\\p\\tolvane64.exe\" /*rows:1a4 /S \"a\\\\\\\"b\""},
        {{L"C:\\x\\"}, false, L"\"C:\\p\\tolvane64.exe\" /*rows:1a4 /S C:\\x\\"},
        // A character whose double-byte form ends in the byte of a backslash (U+8868 in Shift-JIS) is
        // one character here: the closing quotation mark stays a quotation mark.
        {{L"C:\\x y\\\x8868"}, false, L"\"C:\\p\\tolvane64.exe\" /*rows:1a4 /S \"C:\\x y\\\x8868\""},
        // The rest of a batch: options and names, each as it was given.
        {{L"a.dll", L"/U", L"b c.ocx", L"", L"\t"},
         false,
         L"\"C:\\p\\tolvane64.exe\" /*rows:1a4 /S a.dll /U \"b c.ocx\" \"\" \"\t\""},
    };
    for (const auto &c : cases)
    {
        wchar_t line[256];
        const wchar_t *options[] = {L"/S", L"/U"};
        const size_t length = BuildChildCommandLine(L"C:\\p\\tolvane64.exe", "/*rows:1a4", options, c.unregister ? 2 : 1,
                                                    c.arguments.data(), c.arguments.size(), line, 256);
        EXPECT_EQ(std::wstring(line), c.commandLine);
        EXPECT_EQ(length, std::wcslen(c.commandLine));
    }
}

TEST(ChildCommandLine, TooSmallABufferGetsTheLengthAndNoOverrun)
{
    const wchar_t *arguments[] = {L"C:\\x\\grid.ocx"};
    const wchar_t whole[] = L"\"C:\\p\\t.exe\" /*rows:8 C:\\x\\grid.ocx";
    for (size_t size : {size_t{0}, size_t{1}, size_t{10}, std::wcslen(whole)})
    {
        std::vector<wchar_t> line(size + 4, L'#');
        EXPECT_EQ(BuildChildCommandLine(L"C:\\p\\t.exe", "/*rows:8", nullptr, 0, arguments, 1, line.data(), size),
                  std::wcslen(whole));
        for (size_t i = size; i < line.size(); i++)
        {
            EXPECT_EQ(line[i], L'#') << "size " << size << ", index " << i;
        }
        if (size > 0)
        {
            EXPECT_EQ(line[size - 1], L'\0') << "size " << size;
        }
    }
}

TEST(ChildArgument, OnlyTheExactFormMarksAChild)
{
    const struct
    {
        const char *argument;
        bool valid;
        uint32_t pipe;
        uint64_t token;
        bool twin;
    } cases[] = {
        {"/*rows:000001a40123456789abcdef", true, 0x1a4, 0x0123456789abcdefull, false},
        {"/*rows:ffffffff0000000000000001:twin", true, 0xffffffff, 1, true},
        // A handle alone, as a user may type it: no token, no child.
        {"/*rows:1a4", false, 0, 0, false},
        {"/*rows:", false, 0, 0, false},
        {"/*rows:000000000123456789abcdef", false, 0, 0, false},
        {"/*rows:000001A40123456789abcdef", false, 0, 0, false},
        {"/*rows:000001a40123456789abcdef0", false, 0, 0, false},
        {"/*rows:000001a40123456789abcdef:twins", false, 0, 0, false},
        {"/*row:000001a40123456789abcdef", false, 0, 0, false},
        {"/S", false, 0, 0, false},
        {"C:\\x\\grid.ocx", false, 0, 0, false},
    };
    for (const auto &c : cases)
    {
        uint32_t pipe = 0;
        uint64_t token = 0;
        bool twin = false;
        EXPECT_EQ(ParseChildArgument(c.argument, &pipe, &token, &twin), c.valid) << c.argument;
        if (!c.valid)
            continue;
        EXPECT_EQ(pipe, c.pipe) << c.argument;
        EXPECT_EQ(token, c.token) << c.argument;
        EXPECT_EQ(twin, c.twin) << c.argument;
        char formatted[48];
        FormatChildArgument(c.pipe, c.token, c.twin, formatted, sizeof formatted);
        EXPECT_STREQ(formatted, c.argument);
    }
}

struct DecodedRow
{
    std::string path;
    std::string text;
    int32_t code;
    RowKind kind;
    bool called;
    int32_t result;
    std::string fullPath;
    std::string call;
    uint32_t milliseconds;
};

// Decodes a stream of records: the rows, and whether it ended with the end record.
std::vector<DecodedRow> DecodeAll(const std::vector<unsigned char> &bytes, ChildRecord *last)
{
    std::vector<DecodedRow> rows;
    size_t at = 0;
    for (;;)
    {
        RowReport row = {};
        ChildRowText strings;
        size_t used = 0;
        *last = DecodeChildRecord(bytes.data() + at, bytes.size() - at, &used, &row, &strings);
        if (*last != CHILD_RECORD_ROW)
            return rows;
        rows.push_back({row.path, row.text, row.code, row.kind, row.called, row.result, row.fullPath, row.call,
                        row.milliseconds});
        at += used;
    }
}

std::vector<unsigned char> Encode(const RowReport &row)
{
    std::vector<unsigned char> bytes(CHILD_RECORD_MAX);
    bytes.resize(EncodeRowRecord(row, NoLeadBytes, bytes.data(), bytes.size()));
    return bytes;
}

TEST(ChildRecords, RowsArriveAsTheyWereSent)
{
    const std::string longPath = "C:\\" + std::string(256, 'p');
    const std::string longText(CHILD_TEXT_SIZE - 1, 't');
    const RowReport rows[] = {
        {"C:\\x\\ok.dll", "Registered successfully", 0, ROW_BY_CODE, true, 0, "C:\\x\\ok.dll", "register", 12},
        {"missing.dll", "The component 'missing.dll' could not found on this computer.", -2, ROW_BY_CODE, false, 0,
         "C:\\start\\missing.dll", "unregister", 0},
        {"C:\\x\\crash.dll", "The component crashed: access violation (0xC0000005) at crash.dll+0x1370",
         static_cast<int32_t>(0xC0000005), ROW_OWN_TEXT, true, static_cast<int32_t>(0xC0000005), "C:\\x\\crash.dll",
         "register+DllInstall", 0xFFFFFFFF},
        {"C:\\x\\fail.dll", "Access is denied", 5, ROW_CALLED, true, static_cast<int32_t>(0x80070005), "C:\\x\\fail.dll",
         "DllInstall", 1},
        {"", "", 0, ROW_BY_CODE, false, 0, "", "", 0},
        {longPath.c_str(), longText.c_str(), 1, ROW_CALLED, true, -1, longPath.c_str(), "DllInstall+unregister", 7},
    };
    std::vector<unsigned char> stream;
    for (const RowReport &row : rows)
    {
        std::vector<unsigned char> record = Encode(row);
        ASSERT_FALSE(record.empty()) << row.path;
        stream.insert(stream.end(), record.begin(), record.end());
    }
    unsigned char end[8];
    const size_t endLength = EncodeEndRecord(end, sizeof end);
    stream.insert(stream.end(), end, end + endLength);

    ChildRecord last;
    std::vector<DecodedRow> decoded = DecodeAll(stream, &last);
    EXPECT_EQ(last, CHILD_RECORD_END);
    ASSERT_EQ(decoded.size(), std::size(rows));
    for (size_t i = 0; i < decoded.size(); i++)
    {
        EXPECT_EQ(decoded[i].path, rows[i].path) << i;
        EXPECT_EQ(decoded[i].text, rows[i].text) << i;
        EXPECT_EQ(decoded[i].code, rows[i].code) << i;
        EXPECT_EQ(decoded[i].kind, rows[i].kind) << i;
        EXPECT_EQ(decoded[i].called, rows[i].called) << i;
        EXPECT_EQ(decoded[i].result, rows[i].result) << i;
        EXPECT_EQ(decoded[i].fullPath, rows[i].fullPath) << i;
        EXPECT_EQ(decoded[i].call, rows[i].call) << i;
        EXPECT_EQ(decoded[i].milliseconds, rows[i].milliseconds) << i;
    }
}

// A piece of the recording arrives in a field of its own; a row's fields are left alone.
TEST(ChildRecords, TextPieceAndStepArriveInFieldsOfTheirOwn)
{
    unsigned char record[CHILD_TEXT_CHUNK + 8];
    const char piece[] = "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}]\r\n";
    const size_t length = EncodeTextRecord(piece, sizeof piece - 1, record, sizeof record);
    RowReport row = {};
    ChildRowText strings;
    size_t used = 0;
    ASSERT_EQ(DecodeChildRecord(record, length, &used, &row, &strings), CHILD_RECORD_TEXT);
    EXPECT_EQ(used, length);
    EXPECT_EQ(std::string(strings.piece, strings.pieceLength), piece);
    EXPECT_EQ(row.milliseconds, 0u);

    // A step's time limit, for the process that supervises the child.
    const size_t stepLength = EncodeStepRecord(30, record, sizeof record);
    ASSERT_EQ(DecodeChildRecord(record, stepLength, &used, &row, &strings), CHILD_RECORD_STEP);
    EXPECT_EQ(used, stepLength);
    EXPECT_EQ(strings.stepLimit, 30u);
}

TEST(ChildRecords, PartOfARecordWaitsAndAnythingElseIsBad)
{
    const std::vector<unsigned char> record =
        Encode({"C:\\x\\ok.dll", "Registered successfully", 0, ROW_BY_CODE, true, 0, "C:\\x\\ok.dll", "register", 3});
    for (size_t cut = 0; cut < record.size(); cut++)
    {
        ChildRecord last;
        DecodeAll(std::vector<unsigned char>(record.begin(), record.begin() + cut), &last);
        EXPECT_EQ(last, CHILD_RECORD_INCOMPLETE) << "cut at " << cut;
    }
    const size_t pathLengthAt = 3 + 14;
    auto with = [&](size_t at, unsigned char value) {
        std::vector<unsigned char> bytes = record;
        bytes[at] = value;
        return bytes;
    };
    const struct
    {
        const char *what;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"another kind", with(0, 'X')},
        {"another kind, alone", {'X'}},
        {"a kind of row beyond the known", with(3 + 4, 7)},
        {"a path longer than the body", with(pathLengthAt, 0xFF)},
        {"a body longer than its strings", with(1, static_cast<unsigned char>(record[1] - 1))},
        {"an end record with a body", {'E', 1, 0, 0}},
        {"a body too short for a row", {'R', 3, 0, 0, 0, 0}},
        {"a call longer than its buffer", with(3 + 14 + 2 + 11 + 2 + 11, 40)},
        // A length no row can have is bad at once: waiting for its body would wait for ever.
        {"a body longer than any row, alone", {'R', 0xFF, 0xFF}},
        {"a step record of another length", {'S', 2, 0, 30, 0}},
    };
    for (const auto &c : cases)
    {
        ChildRecord last;
        DecodeAll(c.bytes, &last);
        EXPECT_EQ(last, CHILD_RECORD_BAD) << c.what;
    }
}

} // namespace
