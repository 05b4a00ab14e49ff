#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "report/results_copy.h"
#include "report/row_drawing.h"

namespace
{

// Six pixels a character, counting the calls and the lengths measured.
struct Measure
{
    int calls = 0;
    std::vector<size_t> lengths;
};

int SixPixelsEach(const char *text, void *context)
{
    Measure *measure = static_cast<Measure *>(context);
    measure->calls++;
    measure->lengths.push_back(std::strlen(text));
    return static_cast<int>(std::strlen(text)) * 6;
}

// Fits text in a buffer with exactly the room for three more characters, so that the sanitizer
// catches a write past it.
// Shift-JIS lead bytes: 0x81-0x9F and 0xE0-0xFC.
bool ShiftJisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string Fit(const std::string &text, int limit, Measure &measure, LeadByteTest isLeadByte = NoLeadBytes)
{
    std::vector<char> buffer(text.size() + 4);
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    FitCellText(buffer.data(), limit, SixPixelsEach, &measure, isLeadByte);
    return buffer.data();
}

struct FitCase
{
    const char *text;
    int limit;
    const char *expected;
    int measureCalls;
    bool shiftJis = false; // the text is in Shift-JIS: a double-byte character goes whole
};

TEST(FitCellText, ShortensToTheLongestPrefixThatFits)
{
    const FitCase cases[] = {
        // column 40 wide
        {"abcdef", 36, "abcdef", 1},
        {"abcdefg", 36, "abcde...", 2},
        {"abcdefghijklmn", 36, "abcde...", 9},
        // column 10 wide: one character fits, so "..." alone
        {"ab", 6, "...", 2},
        {"abcde", 6, "...", 5},
        // column 4 wide: nothing fits, and no "..." either
        {"ab", 0, "", 2},
        {"abcdefghijklmn", 0, "", 14},
        {"a", 0, "", 1},
        // narrower than the margins
        {"abc", -4, "", 3},
        // exactly as wide as the limit
        {"abcd", 24, "abcd", 1},
        {"abcde", 29, "abc...", 2},
        {"x", 6, "x", 1},
        {"x", 5, "", 1},
        // empty: not measured
        {"", 36, "", 0},
        {"", -4, "", 0},
        // double-byte characters (12 pixels each) are removed whole, never cut in half
        {"\x82\xa0\x82\xa2\x82\xa4", 30, "\x82\xa0...", 2, true},
        {"a\x82\xa0", 12, "...", 2, true},
        {"\x82\xa0", 6, "", 1, true},
        {"\x82\xa0\x82\xa2\x82\xa4", 36, "\x82\xa0\x82\xa2\x82\xa4", 1, true},
    };
    for (const FitCase &c : cases)
    {
        SCOPED_TRACE(std::string("text \"") + c.text + "\", limit " + std::to_string(c.limit));
        Measure measure;
        EXPECT_EQ(Fit(c.text, c.limit, measure, c.shiftJis ? ShiftJisLeadByte : NoLeadBytes), c.expected);
        EXPECT_EQ(measure.calls, c.measureCalls);
    }
}

TEST(FitCellText, MeasuresLongestPrefixFirstOncePerRemovedCharacter)
{
    Measure measure;
    EXPECT_EQ(Fit("abcdefghij", 42, measure), "abcdef...");
    EXPECT_EQ(measure.lengths, (std::vector<size_t>{10, 9, 8, 7}));
}

// A list row as the fake list and surface hold it.
struct FakeRow
{
    std::string cells[3];
    int widths[3];
    uint32_t textColor = 0x00112233; // the surface's own colour as handed over
    Measure measure;
    struct Drawn
    {
        std::string text;
        int left;
        int right;
        uint32_t color;
    };
    std::vector<Drawn> drawn;
    std::vector<int> fetchedRows;
    std::vector<int> fetchedColumns;
    std::vector<int> fetchedMax;
};

void FakeCellText(int row, int column, char *text, int max, void *context)
{
    FakeRow *fake = static_cast<FakeRow *>(context);
    fake->fetchedRows.push_back(row);
    fake->fetchedColumns.push_back(column);
    fake->fetchedMax.push_back(max);
    // As the list does: at most max - 1 characters and a terminator.
    std::string cell = fake->cells[column].substr(0, static_cast<size_t>(max - 1));
    std::memcpy(text, cell.c_str(), cell.size() + 1);
}

int FakeColumnWidth(int column, void *context)
{
    return static_cast<FakeRow *>(context)->widths[column];
}

int FakeMeasure(const char *text, void *context)
{
    return SixPixelsEach(text, &static_cast<FakeRow *>(context)->measure);
}

uint32_t FakeSetTextColor(uint32_t color, void *context)
{
    FakeRow *fake = static_cast<FakeRow *>(context);
    uint32_t previous = fake->textColor;
    fake->textColor = color;
    return previous;
}

void FakeDrawText(const char *text, int left, int right, void *context)
{
    FakeRow *fake = static_cast<FakeRow *>(context);
    fake->drawn.push_back({text, left, right, fake->textColor});
}

RowSurface SurfaceOf(FakeRow &fake)
{
    RowSurface surface;
    surface.context = &fake;
    surface.cellText = FakeCellText;
    surface.columnWidth = FakeColumnWidth;
    surface.measure = FakeMeasure;
    surface.setTextColor = FakeSetTextColor;
    surface.drawText = FakeDrawText;
    surface.isLeadByte = NoLeadBytes;
    return surface;
}

ResultsTable table;

void SetTableCodes(std::initializer_list<int32_t> codes)
{
    table.rowCount = 0;
    for (int32_t code : codes)
        table.rows[table.rowCount++].resultCode = code;
}

const uint32_t GREEN = 0x00008000;
const uint32_t RED = 0x000000FF;
const uint32_t HIGHLIGHT_TEXT = 0x00FFFFFF;
const uint32_t OWN_COLOR = 0x00112233;

TEST(ResultTextColor, GreenOnlyForSuccess)
{
    const struct
    {
        int32_t code;
        uint32_t color;
    } cases[] = {{0, GREEN}, {-1, RED}, {-2, RED}, {5, RED}, {126, RED}, {1, RED}, {INT32_MIN, RED}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(ResultTextColor(c.code), c.color);
    }
}

struct LayoutCase
{
    int rowLeft;
    int widths[3];
    int lefts[3];
    int rights[3];
};

TEST(DrawRowCells, CellsLieSideBySideAtTheColumnsWidths)
{
    const LayoutCase cases[] = {
        {0, {120, 80, 1000}, {2, 122, 202}, {120, 200, 1200}},
        {10, {40, 10, 4}, {12, 52, 62}, {50, 60, 64}},
        {-30, {0, 20, 5}, {-28, -28, -8}, {-30, -10, -5}},
    };
    SetTableCodes({0, 0});
    for (const LayoutCase &c : cases)
    {
        SCOPED_TRACE(c.rowLeft);
        FakeRow fake;
        fake.cells[0] = "a";
        fake.cells[1] = "b";
        fake.cells[2] = "c";
        std::memcpy(fake.widths, c.widths, sizeof fake.widths);
        DrawRowCells(SurfaceOf(fake), table, 1, c.rowLeft, false, HIGHLIGHT_TEXT);
        ASSERT_EQ(fake.drawn.size(), 3u);
        for (int column = 0; column < 3; column++)
        {
            EXPECT_EQ(fake.drawn[column].left, c.lefts[column]) << "column " << column;
            EXPECT_EQ(fake.drawn[column].right, c.rights[column]) << "column " << column;
        }
        EXPECT_EQ(fake.fetchedRows, (std::vector<int>{1, 1, 1}));
        EXPECT_EQ(fake.fetchedColumns, (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(fake.fetchedMax, (std::vector<int>{255, 255, 255}));
    }
}

TEST(DrawRowCells, FitsEachCellToItsWidthLessFour)
{
    SetTableCodes({0});
    FakeRow fake;
    fake.cells[0] = "component.dll"; // 13 characters, 78 pixels
    fake.cells[1] = "0x00000000";    // 10 characters, 60 pixels
    fake.cells[2] = "";
    fake.widths[0] = 40;
    fake.widths[1] = 64;
    fake.widths[2] = 1000;
    DrawRowCells(SurfaceOf(fake), table, 0, 0, false, HIGHLIGHT_TEXT);
    ASSERT_EQ(fake.drawn.size(), 3u);
    EXPECT_EQ(fake.drawn[0].text, "compo...");
    EXPECT_EQ(fake.drawn[1].text, "0x00000000");
    EXPECT_EQ(fake.drawn[2].text, "");
}

TEST(DrawRowCells, TextLongerThan254IsDrawnFromItsFirst254)
{
    std::string longText;
    for (int i = 0; i < 300; i++)
        longText += static_cast<char>('a' + i % 26);
    const struct
    {
        int width;
        std::string expected;
    } cases[] = {
        {2000, longText.substr(0, 254)},         // 1524 pixels fit whole
        {1528, longText.substr(0, 254)},         // exactly
        {1527, longText.substr(0, 252) + "..."}, // 253 characters fit
        {1000, longText.substr(0, 165) + "..."}, // 166 characters fit
    };
    SetTableCodes({5});
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.width);
        FakeRow fake;
        fake.cells[2] = longText;
        fake.widths[0] = fake.widths[1] = 50;
        fake.widths[2] = c.width;
        DrawRowCells(SurfaceOf(fake), table, 0, 0, false, HIGHLIGHT_TEXT);
        ASSERT_EQ(fake.drawn.size(), 3u);
        EXPECT_EQ(fake.drawn[2].text, c.expected);
    }
}

struct ColorCase
{
    int32_t code;
    bool selected;
    uint32_t colors[3]; // the text colour each cell is drawn in
};

TEST(DrawRowCells, ColoursTheResultsCellAndPutsTheTextColourBack)
{
    const ColorCase cases[] = {
        {0, false, {OWN_COLOR, OWN_COLOR, GREEN}},          {126, false, {OWN_COLOR, OWN_COLOR, RED}},
        {-1, false, {OWN_COLOR, OWN_COLOR, RED}},           {-2, false, {OWN_COLOR, OWN_COLOR, RED}},
        {0, true, {HIGHLIGHT_TEXT, HIGHLIGHT_TEXT, GREEN}}, {5, true, {HIGHLIGHT_TEXT, HIGHLIGHT_TEXT, RED}},
    };
    for (const ColorCase &c : cases)
    {
        SCOPED_TRACE(std::to_string(c.code) + (c.selected ? " selected" : ""));
        SetTableCodes({-2, c.code});
        FakeRow fake;
        fake.widths[0] = fake.widths[1] = fake.widths[2] = 100;
        DrawRowCells(SurfaceOf(fake), table, 1, 0, c.selected, HIGHLIGHT_TEXT);
        ASSERT_EQ(fake.drawn.size(), 3u);
        for (int column = 0; column < 3; column++)
            EXPECT_EQ(fake.drawn[column].color, c.colors[column]) << "column " << column;
        EXPECT_EQ(fake.textColor, OWN_COLOR);
    }
}

TEST(DrawRowCells, RowWithoutATableRowIsNotASuccess)
{
    SetTableCodes({0, 0});
    for (int row : {2, 3, -1})
    {
        SCOPED_TRACE(row);
        FakeRow fake;
        fake.widths[0] = fake.widths[1] = fake.widths[2] = 100;
        DrawRowCells(SurfaceOf(fake), table, row, 0, false, HIGHLIGHT_TEXT);
        ASSERT_EQ(fake.drawn.size(), 3u);
        EXPECT_EQ(fake.drawn[2].color, RED);
        EXPECT_EQ(fake.textColor, OWN_COLOR);
    }
}

TEST(FormatCodeCell, EightLowerCaseHexDigitsInTwosComplement)
{
    const struct
    {
        int32_t code;
        const char *text;
    } cases[] = {
        {0, "0x00000000"}, {-2, "0xfffffffe"}, {126, "0x0000007e"}, {-2147024891, "0x80070005"},
    };
    for (const auto &c : cases)
    {
        char text[1024];
        FormatCodeCell(c.code, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.code;
    }
}

TEST(ComponentCellName, KeepsOnlyNameAndExtension)
{
    const struct
    {
        const char *path;
        const char *name;
    } cases[] = {
        {"C:\\Program Files\\Vendor\\Grid Control.ocx", "Grid Control.ocx"},
        {"name", "name"},
        {"C:name.dll", "name.dll"},
        {"C:\\dir.v2\\comp", "comp"},
        {"C:\\dir\\", ""},
    };
    for (const auto &c : cases)
    {
        char name[PATH_BUFFER_SIZE];
        ComponentCellName(c.path, NoLeadBytes, name);
        EXPECT_STREQ(name, c.name) << c.path;
    }
}

TEST(ResultsText, TitleLineThenOneTabbedLinePerRow)
{
    char first[] = "C:\\My Components\\grid.ocx";
    char second[] = "missing.dll";
    auto owned = std::make_unique<ResultsTable>();
    ResultsTable &copied = *owned;
    copied.rows[0] = {first, "Registered successfully", 0, ROW_BY_CODE, 0};
    copied.rows[1] = {second, "The component 'missing.dll' could not found on this computer.", -2, ROW_BY_CODE, 0};
    copied.rowCount = 2;
    const std::string expected =
        "Component\tCode\tResults\r\n"
        "C:\\My Components\\grid.ocx\t0x00000000\tRegistered successfully\r\n"
        "missing.dll\t0xfffffffe\tThe component 'missing.dll' could not found on this computer.\r\n";
    const size_t length = ComposeResultsText(copied, nullptr, 0);
    EXPECT_EQ(length, expected.size());
    std::vector<char> text(length + 1, 'x');
    EXPECT_EQ(ComposeResultsText(copied, text.data(), text.size()), length);
    EXPECT_EQ(std::string(text.data()), expected);
    // A buffer too small keeps what fits, terminated, and still tells the whole length.
    char small[12];
    EXPECT_EQ(ComposeResultsText(copied, small, sizeof small), length);
    EXPECT_STREQ(small, "Component\tC");
}

} // namespace
