#include "report/results_dialog_win.h"

#include <windows.h>
#include <commctrl.h>

#include "about/about_dialog_win.h"
#include "base/system_win.h"
#include "report/outcome_win.h"
#include "report/results_copy.h"
#include "report/row_drawing.h"
#include "report/row_drawing_win.h"
#include "resources/resource.h"

HWND resultsList;

struct ResultColumn
{
    const char *title;
    int width;
};

static const ResultColumn RESULT_COLUMNS[RESULT_COLUMN_COUNT] = {
    {"Component", 120},
    {"Code", 80},
    {"Results", 1000},
};

static void AddResultColumns(HWND list)
{
    for (int position = 0; position < RESULT_COLUMN_COUNT; position++)
    {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = RESULT_COLUMNS[position].width;
        column.pszText = const_cast<char *>(RESULT_COLUMNS[position].title);
        column.iSubItem = position;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&column));
    }
}

// Stores text in a cell of resultsList; column 0 inserts the row, so it comes first.
static void SetListCell(int row, int column, const char *text)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char *>(text);
    SendMessageA(resultsList, column == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

// List row i is table row i: the double-click and the row drawing read the table by the list's index.
static INT_PTR OnInitDialog(HWND dialog)
{
    resultsList = GetDlgItem(dialog, IDC_RESULTS_LIST);
    AddResultColumns(resultsList);
    // Filled in one go: no redraw per row, room for every row at once.
    SendMessageA(resultsList, WM_SETREDRAW, FALSE, 0);
    SendMessageA(resultsList, LVM_SETITEMCOUNT, static_cast<WPARAM>(resultsTable.rowCount), 0);
    for (int row = 0; row < resultsTable.rowCount; row++)
    {
        const ResultEntry &entry = resultsTable.rows[row];
        char name[PATH_BUFFER_SIZE];
        ComponentCellName(entry.componentPath, WinIsLeadByte, name);
        SetListCell(row, 0, name);
        char code[CODE_TEXT_SIZE];
        FormatCodeCell(entry.resultCode, code, sizeof code);
        SetListCell(row, 1, code);
        SetListCell(row, 2, entry.resultText);
    }
    SendMessageA(resultsList, WM_SETREDRAW, TRUE, 0);
    return 1; // the focus goes to the OK button
}

static INT_PTR OnDrawItem(WPARAM control, const DRAWITEMSTRUCT *item)
{
    if (control != IDC_RESULTS_LIST)
        return 0;
    DrawResultRow(item);
    return 1;
}

// A copy of text as wide text from the ANSI code page, in memory for the clipboard; null when
// it cannot be made.
static HGLOBAL WideCopy(const char *text)
{
    const int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    HGLOBAL memory = count > 0 ? GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(count) * sizeof(wchar_t)) : nullptr;
    wchar_t *wide = memory != nullptr ? static_cast<wchar_t *>(GlobalLock(memory)) : nullptr;
    if (wide == nullptr)
    {
        if (memory != nullptr)
            GlobalFree(memory);
        return nullptr;
    }
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, count);
    GlobalUnlock(memory);
    return memory;
}

// Puts the whole table on the clipboard as text, and as wide text converted from the ANSI code
// page: the system would convert the text by the keyboard's language, which garbles names when it
// is not the code page's.
static void CopyResults(HWND dialog)
{
    const size_t length = ComposeResultsText(resultsTable, nullptr, 0);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    if (memory == nullptr)
        return;
    char *text = static_cast<char *>(GlobalLock(memory));
    if (text == nullptr)
    {
        GlobalFree(memory);
        return;
    }
    ComposeResultsText(resultsTable, text, length + 1);
    HGLOBAL wide = WideCopy(text);
    GlobalUnlock(memory);
    if (!OpenClipboard(dialog))
    {
        GlobalFree(memory);
        if (wide != nullptr)
            GlobalFree(wide);
        return;
    }
    EmptyClipboard();
    // The clipboard owns each only once it is set.
    if (wide != nullptr && SetClipboardData(CF_UNICODETEXT, wide) == nullptr)
        GlobalFree(wide);
    if (SetClipboardData(CF_TEXT, memory) == nullptr)
        GlobalFree(memory);
    CloseClipboard();
}

// A double-click shows the detail message of the selected row, whichever row was clicked; Ctrl+C
// in the list copies the table.
static INT_PTR OnNotify(HWND dialog, WPARAM control, const NMHDR *header)
{
    if (control != IDC_RESULTS_LIST)
        return 0;
    if (header->code == static_cast<UINT>(LVN_KEYDOWN))
    {
        const NMLVKEYDOWN *key = reinterpret_cast<const NMLVKEYDOWN *>(header);
        if (key->wVKey == 'C' && GetKeyState(VK_CONTROL) < 0)
            CopyResults(dialog);
        return 0;
    }
    if (header->code != static_cast<UINT>(NM_DBLCLK))
        return 0;
    LRESULT row =
        SendMessageA(header->hwndFrom, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0));
    if (row >= 0)
        ShowOutcome(static_cast<int>(row));
    return 0;
}

// OK ends the dialog; the About button, also the cancel command (Escape), opens About over it.
static INT_PTR OnCommand(HWND dialog, WPARAM command)
{
    switch (LOWORD(command))
    {
    case IDOK:
        EndDialog(dialog, 0);
        break;
    case IDCANCEL:
        OpenAboutDialog();
        break;
    }
    return 0;
}

// The close box counts as OK.
static INT_PTR OnClose(HWND dialog)
{
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return 0;
}

static INT_PTR CALLBACK ResultsDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_DRAWITEM:
        return OnDrawItem(wParam, reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
    case WM_NOTIFY:
        return OnNotify(dialog, wParam, reinterpret_cast<const NMHDR *>(lParam));
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    case WM_CLOSE:
        return OnClose(dialog);
    }
    return 0;
}

void OpenResultsDialog()
{
    DialogBoxParamA(appInstance, "DLG_MULTIDROP", nullptr, ResultsDialog, 0);
}
