// The log's lines: one header per run, one line of six tab-separated fields per row.
#include <gtest/gtest.h>

#include <string>

#include "report/log.h"

namespace
{

const LogTime TIME = {2026, 12, 9, 2, 19, 26, 7};

TEST(LogLine, SixFieldsEachFreeOfTabsAndLineEnds)
{
    std::string longText; // a row's longest text, each character three bytes in UTF-8
    for (int i = 0; i < 3000; i++)
        longText += "\xe2\x82\xac";
    const struct
    {
        const char *call;
        const char *path;
        int32_t code;
        const char *text;
        uint32_t milliseconds;
        std::string line;
    } cases[] = {
        {"register", "C:\\x\\ok.dll", 0, "Registered successfully", 12,
         "2026-12-09T02:19:26.007Z\tregister\tC:\\x\\ok.dll\t0x00000000\tRegistered successfully\t12\r\n"},
        {"DllInstall+unregister", "C:\\x\\crash.dll", static_cast<int32_t>(0xC0000005), "The component crashed", 0,
         "2026-12-09T02:19:26.007Z\tDllInstall+unregister\tC:\\x\\crash.dll\t0xc0000005\tThe component crashed\t0\r\n"},
        {"register", "C:\\x\\y.dll", -2, "a\ttab\r\nand line ends", 4294967295u,
         "2026-12-09T02:19:26.007Z\tregister\tC:\\x\\y.dll\t0xfffffffe\ta tab  and line ends\t4294967295\r\n"},
        // UTF-8 passes as it is.
        {"register", "C:\\\xc3\xa9t\xc3\xa9\\ok.dll", 0, "", 1,
         "2026-12-09T02:19:26.007Z\tregister\tC:\\\xc3\xa9t\xc3\xa9\\ok.dll\t0x00000000\t\t1\r\n"},
        // A row text of 9,000 bytes is logged whole.
        {"register", "C:\\x\\ok.dll", 126, longText.c_str(), 1,
         "2026-12-09T02:19:26.007Z\tregister\tC:\\x\\ok.dll\t0x0000007e\t" + longText + "\t1\r\n"},
    };
    for (const auto &c : cases)
    {
        char line[LOG_LINE_SIZE];
        const size_t length = ComposeLogLine(TIME, c.call, c.path, c.code, c.text, c.milliseconds, line, sizeof line);
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(length, c.line.size());
    }
}

TEST(LogLine, TooLongALineIsCutAndStillEndsItsLine)
{
    const std::string text(300, 't');
    for (size_t size : {size_t{3}, size_t{40}, size_t{200}})
    {
        std::string line(size + 8, '#');
        const size_t length = ComposeLogLine(TIME, "register", "C:\\x\\ok.dll", 0, text.c_str(), 1, &line[0], size);
        ASSERT_LE(length + 1, size);
        EXPECT_EQ(line.compare(length - 2, 3, std::string("\r\n\0", 3)), 0) << size;
        EXPECT_EQ(line[size], '#') << "nothing written past the buffer";
    }
}

// What the simulated write answers.
struct WriteAnswer
{
    bool returns;
    size_t written;
    uint32_t error;
};
WriteAnswer answer;

// Every write is checked: the first failure's error is kept for the exit code.
TEST(LogWrite, LineWrittenInPartOrNotAtAllIsAFailureAndTheFirstErrorStays)
{
    const struct
    {
        WriteAnswer write;
        bool whole;
        uint32_t firstError;
    } cases[] = {
        {{true, 10, 0}, true, 0},
        {{true, 4, 0}, false, 112}, // a short write: the disk is full
        {{false, 0, 39}, false, 39},
        {{false, 0, 0}, false, 112},
    };
    for (const auto &c : cases)
        for (uint32_t before : {0u, 5u})
        {
            answer = c.write;
            uint32_t firstError = before;
            const bool whole = WriteLogLine(
                [](const char *, size_t, size_t *written, uint32_t *error) {
                    *written = answer.written;
                    *error = answer.error;
                    return answer.returns;
                },
                "0123456789", 10, &firstError);
            EXPECT_EQ(whole, c.whole);
            EXPECT_EQ(firstError, before != 0 ? before : c.firstError) << "an earlier failure's error stays";
        }
}

TEST(LogHeader, NamesTheTimeTheVersionAndTheCommandLine)
{
    char line[256];
    ComposeLogHeader(TIME, "3.1.0", "\"C:\\p\\tolvane.exe\" /S\t/L:x.log a.dll", line, sizeof line);
    EXPECT_STREQ(line, "# 2026-12-09 02:19:26 UTC, TolVane 3.1.0: \"C:\\p\\tolvane.exe\" /S /L:x.log a.dll\r\n");
}

} // namespace
