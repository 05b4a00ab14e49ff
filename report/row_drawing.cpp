#include "report/row_drawing.h"

#include <cstdio>
#include <cstring>

// Where the last whole character of text[0..length) begins: a double-byte character is removed
// as one.
static size_t LastCharacterStart(const char *text, size_t length, LeadByteTest isLeadByte)
{
    size_t start = 0;
    for (size_t at = 0; at < length;)
    {
        start = at;
        at += (isLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < length) ? 2 : 1;
    }
    return start;
}

void FitCellText(char *text, int limit, TextWidthMeasure measure, void *context, LeadByteTest isLeadByte)
{
    size_t length = std::strlen(text);
    if (length == 0)
        return;
    bool shortened = false;
    while (measure(text, context) > limit)
    {
        length = LastCharacterStart(text, length, isLeadByte);
        text[length] = '\0';
        shortened = true;
        if (length == 0)
            return; // not even the first character fits: nothing is drawn, not even "..."
    }
    if (shortened)
    {
        length = LastCharacterStart(text, length, isLeadByte);
        std::memcpy(text + length, "...", 4);
    }
}

// One cell of a row: it begins at left and is as wide as its column; its text is drawn from two
// pixels in and fitted to the width less four, so it keeps two pixels free on either side.
struct CellBox
{
    int left;
    int right;
    int textLeft;
    int fitLimit;
};

static CellBox LayOutCell(int left, int columnWidth)
{
    CellBox box;
    box.left = left;
    box.right = left + columnWidth;
    box.textLeft = left + 2;
    box.fitLimit = columnWidth - 4;
    return box;
}

uint32_t ResultTextColor(int32_t resultCode)
{
    return resultCode == 0 ? SUCCESS_TEXT_COLOR : FAILURE_TEXT_COLOR;
}

void FormatCodeCell(int32_t resultCode, char *out, size_t size)
{
    std::snprintf(out, size, "0x%08x", static_cast<unsigned int>(static_cast<uint32_t>(resultCode)));
}

void ComponentCellName(const char *componentPath, LeadByteTest isLeadByte, char *out)
{
    PathParts parts;
    SplitPath(componentPath, isLeadByte, &parts);
    MakePath(out, nullptr, nullptr, parts.fileName, parts.extension, isLeadByte);
}

void DrawRowCells(const RowSurface &surface, const ResultsTable &table, int row, int rowLeft, bool selected,
                  uint32_t selectedTextColor)
{
    // A list row without a table row cannot be told a success.
    const bool inTable = row >= 0 && row < table.rowCount;
    const uint32_t resultColor = ResultTextColor(inTable ? table.rows[row].resultCode : RESULT_COMPONENT_NOT_FOUND);

    uint32_t rowColor = 0;
    if (selected)
        rowColor = surface.setTextColor(selectedTextColor, surface.context);

    int left = rowLeft;
    for (int column = 0; column < RESULT_COLUMN_COUNT; column++)
    {
        char text[CELL_TEXT_SIZE];
        text[0] = '\0';
        surface.cellText(row, column, text, CELL_TEXT_OFFERED, surface.context);
        const CellBox box = LayOutCell(left, surface.columnWidth(column, surface.context));
        FitCellText(text, box.fitLimit, surface.measure, surface.context, surface.isLeadByte);

        uint32_t cellColor = 0;
        if (column == RESULTS_COLUMN)
            cellColor = surface.setTextColor(resultColor, surface.context);
        surface.drawText(text, box.textLeft, box.right, surface.context);
        left = box.right;
        if (column == RESULTS_COLUMN)
            surface.setTextColor(cellColor, surface.context);
    }

    if (selected)
        surface.setTextColor(rowColor, surface.context);
}
