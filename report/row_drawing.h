#pragma once
// The cells of the results list: their texts, and how one row is drawn: the three cells side by
// side at the columns' current widths, each text shortened with "..." to fit, the Results cell
// green or red by the row's outcome. Window-free: the list and the drawing surface are reached
// through the functions handed in.
#include <cstddef>
#include <cstdint>

#include "base/run_state.h"
#include "app/paths/path_parts.h"

constexpr int RESULT_COLUMN_COUNT = 3; // Component, Code, Results
constexpr int RESULTS_COLUMN = 2;

constexpr size_t CELL_TEXT_SIZE = 512; // a cell's text while a row is drawn
constexpr int CELL_TEXT_OFFERED = 255; // of it offered to the list: 254 characters, leaving room for "..."
constexpr size_t CODE_TEXT_SIZE = 1024;

// Colours as 0x00BBGGRR.
constexpr uint32_t SUCCESS_TEXT_COLOR = 0x00008000;
constexpr uint32_t FAILURE_TEXT_COLOR = 0x000000FF;

// The width of text in pixels, in the font it is drawn in.
typedef int (*TextWidthMeasure)(const char *text, void *context);

// Shortens text in place until it is at most limit pixels wide: the longest prefix that fits,
// less its last character, followed by "...". text's buffer has room for three more characters.
// When not even the first character fits the text ends up empty. An empty text is not measured.
// A double-byte character is removed whole, never cut in half.
void FitCellText(char *text, int limit, TextWidthMeasure measure, void *context, LeadByteTest isLeadByte);

// The Results cell's colour: green for success (code 0), red for anything else.
uint32_t ResultTextColor(int32_t resultCode);

// The Code cell: "0x" and eight lower-case hexadecimal digits, negative codes in two's complement.
void FormatCodeCell(int32_t resultCode, char *out, size_t size);

// The Component cell: the file name and extension of componentPath, without drive or directory,
// into out (PATH_BUFFER_SIZE bytes).
void ComponentCellName(const char *componentPath, LeadByteTest isLeadByte, char *out);

// What drawing a row needs of the list and of the surface.
struct RowSurface
{
    void *context;
    // Copies the text of a cell into text: at most max - 1 characters and a terminator.
    void (*cellText)(int row, int column, char *text, int max, void *context);
    int (*columnWidth)(int column, void *context); // the column's current width in pixels
    TextWidthMeasure measure;
    uint32_t (*setTextColor)(uint32_t color, void *context);                // returns the colour it replaces
    void (*drawText)(const char *text, int left, int right, void *context); // on one line, the row's height
    LeadByteTest isLeadByte;
};

// Draws the three cells of row, the first at rowLeft. A selected row's texts are drawn in
// selectedTextColor, the Results cell in the colour of the table row's code (red when the table
// has no such row). The surface's text colour is put back before it returns.
void DrawRowCells(const RowSurface &surface, const ResultsTable &table, int row, int rowLeft, bool selected,
                  uint32_t selectedTextColor);
