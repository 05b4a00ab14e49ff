#include "report/row_drawing_win.h"

#include <commctrl.h>

#include "base/run_state.h"
#include "base/system_win.h"
#include "report/results_dialog_win.h"
#include "report/row_drawing.h"

// The surface of the row being drawn.
struct RowTarget
{
    HDC dc;
    int top;
    int bottom;
};

static void ListCellText(int row, int column, char *text, int max, void *)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = max;
    SendMessageA(resultsList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    // The list may answer with a pointer to its own copy instead of filling the buffer.
    if (item.pszText != text && item.pszText != nullptr)
        lstrcpynA(text, item.pszText, max);
}

static int ListColumnWidth(int column, void *)
{
    LVCOLUMNA header = {};
    header.mask = LVCF_FMT | LVCF_WIDTH;
    SendMessageA(resultsList, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&header));
    return header.cx;
}

static int ListTextWidth(const char *text, void *)
{
    return static_cast<int>(SendMessageA(resultsList, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
}

static uint32_t RowSetTextColor(uint32_t color, void *context)
{
    return SetTextColor(static_cast<RowTarget *>(context)->dc, color);
}

static void RowDrawText(const char *text, int left, int right, void *context)
{
    const RowTarget *target = static_cast<RowTarget *>(context);
    RECT cell = {left, target->top, right, target->bottom};
    DrawTextA(target->dc, text, -1, &cell, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

void DrawResultRow(const DRAWITEMSTRUCT *item)
{
    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    // The brush belongs to the system and is not deleted.
    FillRect(item->hDC, &item->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (item->itemState & ODS_FOCUS)
        DrawFocusRect(item->hDC, &item->rcItem);
    if (item->itemID == static_cast<UINT>(-1))
        return;

    RowTarget target = {item->hDC, item->rcItem.top, item->rcItem.bottom};
    RowSurface surface;
    surface.context = &target;
    surface.cellText = ListCellText;
    surface.columnWidth = ListColumnWidth;
    surface.measure = ListTextWidth;
    surface.setTextColor = RowSetTextColor;
    surface.drawText = RowDrawText;
    surface.isLeadByte = WinIsLeadByte;
    DrawRowCells(surface, resultsTable, static_cast<int>(item->itemID), item->rcItem.left, selected,
                 GetSysColor(COLOR_HIGHLIGHTTEXT));
}
