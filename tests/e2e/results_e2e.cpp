// A run over two or more components ends in the results dialog: an owner-drawn list of every
// component's outcome, with each row's detail message on a double-click and About on Escape.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "e2e_support.h"

#include <commctrl.h>

namespace
{

const char RESULTS_TITLE[] = "Multidrop Registration Results";
const char ABOUT_TITLE[] = "About TolVane";
const char SUCCESS_TITLE[] = "TolVane 3.1";
const char ERROR_TITLE[] = "Component Registration Error";
const int LIST_ID = 1003;
const int ABOUT_BUTTON_ID = 2;

const COLORREF GREEN = RGB(0, 128, 0);
const COLORREF RED = RGB(255, 0, 0);

const int COMPONENT_WIDTH = 120;
const int CODE_WIDTH = 80;
const int RESULTS_WIDTH = 1000;

std::string CodeText(uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", code);
    return text;
}

std::string SystemMessage(const std::string &path, uint32_t code)
{
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%d (0x%x)", static_cast<int32_t>(code), code);
    return "The component you are trying to register '" + path + "' has returned an error of type " + numbers +
           " and the operating system reports:\n\n" + SystemText(code, path) +
           "\n\nIf the OS said there was no problem, try to determine what the above error code means by looking "
           "in the documentation for this component as that error message is component specific.";
}

std::string Code31Message(const std::string &path)
{
    return "The loading process for " + path +
           " has failed with an error code of 31 (0x1F). (the DllRegisterServer entry point was not even called - "
           "LoadLibrary() failed) Microsoft's explanation for this error is 'A device attached to the system is not "
           "functioning' This can mean several things:\n\n1. One of the components that this component needs is "
           "missing.\n\n2. One of the components that this component needs returned a result code of 31 "
           "(0x1F).\n\n3. This error is also returned when a corrupted or invalid component is passed to "
           "TolVane.\n\n";
}

// crash.dll's row: its faulting write is the first instruction of its export CrashSite.
std::string CrashText(const std::string &path)
{
    const std::string offset = ExportOffset(path, "CrashSite");
    return offset.empty() ? "CrashSite is not exported"
                          : "The component crashed: access violation (0xC0000005) at crash.dll+0x" + offset;
}

// The detail message of a row whose own text stands where the system's would.
std::string OwnTextMessage(const std::string &path, uint32_t code, const std::string &text)
{
    std::string message = SystemMessage(path, code);
    const std::string system = SystemText(code, path);
    return message.replace(message.find(system), system.size(), text);
}

// One command-line argument of a batch and, for a component, the row it must give.
struct RowCase
{
    std::string argument;
    bool option;
    std::string name;        // Component cell
    std::string code;        // Code cell
    std::string result;      // Results cell
    const char *detailTitle; // the detail message a double-click shows
    std::string detailText;
};

RowCase Option(const char *argument)
{
    return {argument, true, "", "", "", nullptr, ""};
}

RowCase Component(const std::string &path, const std::string &name, uint32_t code, const std::string &result,
                  const char *detailTitle, const std::string &detailText)
{
    return {"\"" + path + "\"", false, name, CodeText(code), result, detailTitle, detailText};
}

// Successes, missing files, a module without the entry points, one that fails to load and
// failing entry points, with /U between them. The detail messages follow the mode at the end of
// the run (unregister); the rows' texts were composed in the mode of their time.
std::vector<RowCase> MixedBatch(const std::string &dir)
{
    CreateDirectoryA((dir + "\\sub.d").c_str(), nullptr);
    PlaceComponent("ok", dir, "ok.dll");
    PlaceComponent("ok", dir + "\\sub.d", "second.ocx");
    PlaceComponent("no_entry", dir, "no_entry.dll");
    PlaceComponent("init_fails", dir, "init_fails.dll");
    PlaceComponent("fail5", dir, "fail5.dll");
    PlaceComponent("fail31", dir, "fail31.dll");
    PlaceComponent("crash", dir, "crash.dll");
    const std::string ok = dir + "\\ok.dll";
    const std::string second = dir + "\\sub.d\\second.ocx";
    const std::string missing = dir + "\\missing.ocx";
    const std::string noEntry = dir + "\\no_entry.dll";
    const std::string initFails = dir + "\\init_fails.dll";
    const std::string fail5 = dir + "\\fail5.dll";
    const std::string fail31 = dir + "\\fail31.dll";
    const std::string bare = dir + "\\nothing";
    const std::string crash = dir + "\\crash.dll";
    const std::string crashText = CrashText(crash);
    const uint32_t loadError = LoadError(initFails);
    const std::string missingText = "The component '" + missing + "' could not found on this computer.";
    const std::string bareText = "The component '" + bare + "' could not found on this computer.";
    // What TolVane found out about a file without the entry point: it exports nothing of COM.
    const std::string notCom = "It is not a COM component.";
    return {
        Component(ok, "ok.dll", 0, "Registered successfully", SUCCESS_TITLE,
                  "The component '" + ok + "' has unregistered successfully."),
        Component(missing, "missing.ocx", 0xFFFFFFFE, missingText, ERROR_TITLE, missingText),
        Component(noEntry, "no_entry.dll", 0xFFFFFFFF, "DllRegisterServer entry point not found. " + notCom, ERROR_TITLE,
                  "Tolvane can not find the DllUnregisterServer entry point in " + noEntry +
                      ". Are you sure it is a registerable control ?\n\n" + notCom),
        Component(initFails, "init_fails.dll", loadError, SystemRowText(loadError, initFails), ERROR_TITLE,
                  SystemMessage(initFails, loadError)),
        Component(crash, "crash.dll", 0xC0000005, crashText, ERROR_TITLE, OwnTextMessage(crash, 0xC0000005, crashText)),
        Option("/U"),
        Component(second, "second.ocx", 0, "Unregistered successfully", SUCCESS_TITLE,
                  "The component '" + second + "' has unregistered successfully."),
        Component(fail5, "fail5.dll", 5, SystemRowText(5), ERROR_TITLE, SystemMessage(fail5, 5)),
        Component(fail31, "fail31.dll", 31, SystemRowText(31), ERROR_TITLE, Code31Message(fail31)),
        Component(noEntry, "no_entry.dll", 0xFFFFFFFF, "DllUnregisterServer entry point not found. " + notCom, ERROR_TITLE,
                  "Tolvane can not find the DllUnregisterServer entry point in " + noEntry +
                      ". Are you sure it is a registerable control ?\n\n" + notCom),
        Component(bare, "nothing", 0xFFFFFFFE, bareText, ERROR_TITLE, bareText),
    };
}

// fail31's entry point is the last one called.
const uint32_t MIXED_BATCH_EXIT_CODE = 0x8007001F;

std::vector<RowCase> Rows(const std::vector<RowCase> &batch)
{
    std::vector<RowCase> rows;
    for (const RowCase &c : batch)
        if (!c.option)
            rows.push_back(c);
    return rows;
}

std::string Arguments(const std::vector<RowCase> &batch)
{
    std::string arguments;
    for (const RowCase &c : batch)
        arguments += (arguments.empty() ? "" : " ") + c.argument;
    return arguments;
}

// The results dialog of the mixed batch, open: the rows it must list and its list.
struct MixedResults
{
    std::string dir;
    std::vector<RowCase> rows;
    ProgramRun run;
    HWND list = nullptr;

    // Runs the mixed batch in a new work folder named name; false when no results list opens.
    bool Open(const char *name)
    {
        dir = MakeWorkFolder(name);
        const std::vector<RowCase> batch = MixedBatch(dir);
        rows = Rows(batch);
        if (run.Open(Arguments(batch), dir, RESULTS_TITLE))
            list = GetDlgItem(run.dialog, LIST_ID);
        return list != nullptr;
    }
};

int SelectedRow(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

// Every cell of the list as "name|code|result" lines.
std::vector<std::string> ListCells(HWND list)
{
    std::vector<std::string> cells;
    for (int row = 0; row < ListItemCount(list); row++)
        cells.push_back(ListItemText(list, row, 0) + "|" + ListItemText(list, row, 1) + "|" +
                        ListItemText(list, row, 2));
    return cells;
}

std::vector<std::string> ExpectedCells(const std::vector<RowCase> &rows)
{
    std::vector<std::string> cells;
    for (const RowCase &row : rows)
        cells.push_back(row.name + "|" + row.code + "|" + row.result);
    return cells;
}

void SaveForInspection(const Capture &capture, const char *name)
{
    SaveCapture(capture, (MakeWorkFolder("results-capture") + "\\" + name + ".bmp").c_str());
}

COLORREF At(const Capture &capture, int x, int y)
{
    return capture.pixels[static_cast<size_t>(y) * capture.width + x];
}

// Pixels of one colour in [left, right) x [top, bottom), clipped to the capture.
int CountColour(const Capture &capture, COLORREF colour, int left, int right, int top, int bottom)
{
    int count = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, capture.height); y++)
        for (int x = std::max(left, 0); x < std::min(right, capture.width); x++)
            count += At(capture, x, y) == colour;
    return count;
}

// The list once it shows every row's text in its Results cell, in either colour.
Capture RowsCapture(HWND list)
{
    std::vector<RECT> rows;
    for (int row = 0; row < ListItemCount(list); row++)
        rows.push_back(ListItemRect(list, row));
    return CaptureWhen(list, [&](const Capture &shown) {
        for (const RECT &row : rows)
        {
            int left = row.left + COMPONENT_WIDTH + CODE_WIDTH;
            int green = CountColour(shown, GREEN, left, row.right, row.top, row.bottom);
            int red = CountColour(shown, RED, left, row.right, row.top, row.bottom);
            if (green + red == 0)
                return false;
        }
        return true;
    });
}

// The list once it shows something other than before, e.g. after a change of a column's width.
Capture ChangedCapture(HWND list, const Capture &before)
{
    return CaptureWhen(list, [&](const Capture &shown) { return shown.pixels != before.pixels; });
}

TEST(ResultsDialog, ListsEveryComponentInCommandLineOrder)
{
    MixedResults shown;
    ASSERT_TRUE(shown.Open("results rows")) << "no results dialog";

    const struct
    {
        const char *title;
        int width;
    } columns[] = {{"Component", COMPONENT_WIDTH}, {"Code", CODE_WIDTH}, {"Results", RESULTS_WIDTH}};
    for (int column = 0; column < 3; column++)
    {
        EXPECT_EQ(ListColumnTitle(shown.list, column), columns[column].title);
        EXPECT_EQ(ListColumnWidth(shown.list, column), columns[column].width) << columns[column].title;
    }
    EXPECT_EQ(ListColumnTitle(shown.list, 3), "<no column>") << "three columns only";

    ASSERT_EQ(ListItemCount(shown.list), static_cast<int>(shown.rows.size()));
    for (size_t row = 0; row < shown.rows.size(); row++)
    {
        SCOPED_TRACE(shown.rows[row].argument);
        int item = static_cast<int>(row);
        EXPECT_EQ(ListItemText(shown.list, item, 0), shown.rows[row].name);
        EXPECT_EQ(ListItemText(shown.list, item, 1), shown.rows[row].code);
        EXPECT_EQ(ListItemText(shown.list, item, 2), shown.rows[row].result);
    }
    EXPECT_EQ(SelectedRow(shown.list), -1) << "no row is selected when the dialog opens";

    PressButton(shown.run.dialog, IDOK);
    DWORD exitCode = 0;
    std::vector<SeenDialog> seen;
    ASSERT_TRUE(shown.run.RunToEnd(&seen, &exitCode));
    EXPECT_TRUE(seen.empty()) << "after OK: " << (seen.empty() ? "" : seen[0].title);
    EXPECT_EQ(exitCode, MIXED_BATCH_EXIT_CODE);
}

enum class Ending
{
    OK_BUTTON,
    CLOSE_BOX,
};

struct EndingCase
{
    const char *arguments; // {dir} is the work folder
    Ending ending;
    uint32_t exitCode;
};

const EndingCase ENDING_CASES[] = {
    // The last called entry point's result, not the last row's code nor the first failure's.
    {"\"{dir}\\fail5.dll\" \"{dir}\\ok.dll\" \"{dir}\\missing.dll\"", Ending::OK_BUTTON, 0},
    {"\"{dir}\\fail5.dll\" \"{dir}\\ok.dll\" \"{dir}\\missing.dll\"", Ending::CLOSE_BOX, 0},
    {"\"{dir}\\ok.dll\" \"{dir}\\fail5.dll\" \"{dir}\\no_entry.dll\"", Ending::OK_BUTTON, 0x80070005},
    {"\"{dir}\\ok.dll\" /u \"{dir}\\fail5.dll\" \"{dir}\\missing.dll\"", Ending::CLOSE_BOX, 0x80070005},
    {"\"{dir}\\fail5.dll\" \"{dir}\\fail0.dll\"", Ending::CLOSE_BOX, 0x80040154},
    // No entry point called: the last row's code.
    {"\"{dir}\\no_entry.dll\" \"{dir}\\missing.dll\"", Ending::OK_BUTTON, 0xFFFFFFFE},
};

TEST(ResultsDialog, OkAndTheCloseBoxEndTheRunWithTheLastEntryPointResult)
{
    std::string dir = MakeWorkFolder("results ending");
    for (const char *name : {"ok", "no_entry", "fail5", "fail0"})
        PlaceComponent(name, dir, (std::string(name) + ".dll").c_str());
    for (const EndingCase &c : ENDING_CASES)
    {
        const std::string arguments = ReplaceAll(c.arguments, "{dir}", dir);
        SCOPED_TRACE(std::string(c.ending == Ending::OK_BUTTON ? "OK: " : "close box: ") + arguments);

        ProgramRun run;
        ASSERT_TRUE(run.Open(arguments, dir, RESULTS_TITLE)) << "no results dialog";
        HWND list = GetDlgItem(run.dialog, LIST_ID);
        ASSERT_NE(list, nullptr);
        if (c.ending == Ending::OK_BUTTON)
            PressButton(run.dialog, IDOK);
        else
            RequestClose(run.dialog);
        DWORD exitCode = 0;
        std::vector<SeenDialog> seen;
        ASSERT_TRUE(run.RunToEnd(&seen, &exitCode));
        EXPECT_TRUE(seen.empty()) << "no About dialog or message opens; first seen: "
                                  << (seen.empty() ? "" : seen[0].title);
        EXPECT_EQ(exitCode, c.exitCode);
    }
}

TEST(ResultsDialog, ResultsCellIsGreenForSuccessAndRedOtherwise)
{
    MixedResults shown;
    ASSERT_TRUE(shown.Open("results colours")) << "no results dialog";
    ASSERT_EQ(ListItemCount(shown.list), static_cast<int>(shown.rows.size()));

    Capture capture = RowsCapture(shown.list);
    ASSERT_GT(capture.width, COMPONENT_WIDTH + CODE_WIDTH + 40);
    SaveForInspection(capture, "colours");
    for (size_t row = 0; row < shown.rows.size(); row++)
    {
        SCOPED_TRACE(shown.rows[row].argument);
        RECT rect = ListItemRect(shown.list, static_cast<int>(row));
        ASSERT_LE(rect.bottom, capture.height) << "the row is on screen";
        int resultsLeft = rect.left + COMPONENT_WIDTH + CODE_WIDTH;
        bool success = shown.rows[row].code == CodeText(0);
        int green = CountColour(capture, GREEN, resultsLeft, rect.right, rect.top, rect.bottom);
        int red = CountColour(capture, RED, resultsLeft, rect.right, rect.top, rect.bottom);
        EXPECT_GE(success ? green : red, 10) << "text pixels of the expected colour in the Results cell";
        EXPECT_EQ(success ? red : green, 0) << "pixels of the other colour in the Results cell";
        // The Component and Code cells are not coloured by the outcome.
        EXPECT_EQ(CountColour(capture, GREEN, rect.left, resultsLeft, rect.top, rect.bottom), 0);
        EXPECT_EQ(CountColour(capture, RED, rect.left, resultsLeft, rect.top, rect.bottom), 0);
    }
    PressButton(shown.run.dialog, IDOK);
    DWORD exitCode = 0;
    std::vector<SeenDialog> seen;
    EXPECT_TRUE(shown.run.RunToEnd(&seen, &exitCode));
}

// A real double-click: the button message the list gets at the row's position.
void DoubleClickRow(HWND list, int row)
{
    RECT rect = ListItemRect(list, row);
    LPARAM at = MAKELPARAM(rect.left + 30, (rect.top + rect.bottom) / 2);
    PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
}

TEST(ResultsDialog, DoubleClickShowsTheSelectedRowsDetailMessage)
{
    MixedResults shown;
    ASSERT_TRUE(shown.Open("results double-click")) << "no results dialog";
    const std::vector<std::string> cells = ListCells(shown.list);
    ASSERT_EQ(cells, ExpectedCells(shown.rows));

    // With no row selected a double-click shows nothing.
    DoubleClickRow(shown.list, 0);
    HWND unexpected = shown.run.WaitForOther(1500);
    EXPECT_EQ(unexpected, nullptr) << "opened: " << WindowText(unexpected);
    if (unexpected != nullptr)
    {
        PressButton(unexpected, IDOK);
        WaitForWindowGone(unexpected, DIALOG_WAIT_MS);
    }

    // Rows in an order that differs from the list's.
    for (size_t n = 0; n < shown.rows.size(); n++)
    {
        int row = static_cast<int>((n * 3 + 2) % shown.rows.size());
        SCOPED_TRACE(shown.rows[row].argument);
        ASSERT_TRUE(SelectListItem(shown.list, row));
        DoubleClickRow(shown.list, row);
        HWND box = shown.run.WaitForOther(DIALOG_WAIT_MS);
        ASSERT_NE(box, nullptr) << "no detail message";
        EXPECT_EQ(WindowText(box), shown.rows[row].detailTitle);
        EXPECT_EQ(MessageBoxText(box), shown.rows[row].detailText);
        PressButton(box, IDOK);
        ASSERT_TRUE(WaitForWindowGone(box, DIALOG_WAIT_MS));
        // The results dialog carries on as it was.
        EXPECT_TRUE(IsWindowVisible(shown.run.dialog));
        EXPECT_EQ(ListCells(shown.list), cells);
        EXPECT_EQ(SelectedRow(shown.list), row);
    }
    EXPECT_TRUE(shown.run.Running()) << "the program still runs";

    PressButton(shown.run.dialog, IDOK);
    DWORD exitCode = 0;
    std::vector<SeenDialog> seen;
    ASSERT_TRUE(shown.run.RunToEnd(&seen, &exitCode));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(exitCode, MIXED_BATCH_EXIT_CODE);
}

// The clipboard's text in a format (CF_TEXT or CF_UNICODETEXT), as it is there now.
template <typename Char> std::basic_string<Char> ClipboardText(UINT format)
{
    std::basic_string<Char> text;
    if (!OpenClipboard(nullptr))
        return text;
    HANDLE data = GetClipboardData(format);
    const Char *locked = data != nullptr ? static_cast<const Char *>(GlobalLock(data)) : nullptr;
    if (locked != nullptr)
    {
        text = locked;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// The clipboard's text, once something has put text there; empty on time-out.
std::string WaitForClipboardText(DWORD timeoutMs)
{
    std::string text;
    WaitUntil([&] { return !(text = ClipboardText<char>(CF_TEXT)).empty(); }, timeoutMs);
    return text;
}

TEST(ResultsDialog, CtrlCInTheListCopiesTheWholeTable)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    MixedResults shown;
    ASSERT_TRUE(shown.Open("results copy")) << "no results dialog";

    // A click gives the list the focus; then Ctrl+C on the keyboard.
    RECT rect = ListItemRect(shown.list, 1);
    LPARAM at = MAKELPARAM(rect.left + 30, (rect.top + rect.bottom) / 2);
    PostMessageA(shown.list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(shown.list, WM_LBUTTONUP, 0, at);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(shown.run.dialog) == shown.list; }, DIALOG_WAIT_MS))
        << "the list has no focus";
    SetForegroundWindow(shown.run.dialog);
    // The keys go to the foreground thread's control with the focus.
    ASSERT_TRUE(
        WaitUntil([&] { return GetForegroundWindow() == shown.run.dialog && FocusOf(shown.run.dialog) == shown.list; },
                  DIALOG_WAIT_MS))
        << "the results dialog did not come to the foreground";
    keybd_event(VK_CONTROL, 0, 0, 0);
    keybd_event('C', 0, 0, 0);
    keybd_event('C', 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);

    std::string expected = "Component\tCode\tResults\r\n";
    for (const RowCase &row : shown.rows)
        expected += row.argument.substr(1, row.argument.size() - 2) + "\t" + row.code + "\t" + row.result + "\r\n";
    EXPECT_EQ(WaitForClipboardText(DIALOG_WAIT_MS), expected);
    EXPECT_TRUE(ClipboardText<wchar_t>(CF_UNICODETEXT) == Widen(expected)) << "the wide text is the same, from the ANSI code page";

    PressButton(shown.run.dialog, IDOK);
    DWORD exitCode = 0;
    std::vector<SeenDialog> seen;
    EXPECT_TRUE(shown.run.RunToEnd(&seen, &exitCode));
}

enum class AboutRequest
{
    ESCAPE_KEY,     // the key as the dialog's message loop gets it
    CANCEL_COMMAND, // WM_COMMAND IDCANCEL
    ABOUT_BUTTON,   // a click on "&About"
};

TEST(ResultsDialog, EscapeAndTheAboutButtonOpenAboutOverTheDialog)
{
    std::string dir = MakeWorkFolder("results about");
    PlaceComponent("ok", dir, "ok.dll");
    PlaceComponent("fail5", dir, "fail5.dll");
    const std::string arguments = "\"" + dir + "\\fail5.dll\" \"" + dir + "\\ok.dll\"";

    ProgramRun run;
    ASSERT_TRUE(run.Open(arguments, dir, RESULTS_TITLE)) << "no results dialog";
    HWND list = GetDlgItem(run.dialog, LIST_ID);
    ASSERT_NE(list, nullptr);
    const std::vector<std::string> cells = ListCells(list);
    ASSERT_EQ(cells.size(), 2u);
    HWND aboutButton = GetDlgItem(run.dialog, ABOUT_BUTTON_ID);
    ASSERT_NE(aboutButton, nullptr);
    EXPECT_EQ(WindowText(aboutButton), "&About");

    for (AboutRequest request :
         {AboutRequest::ESCAPE_KEY, AboutRequest::CANCEL_COMMAND, AboutRequest::ABOUT_BUTTON, AboutRequest::ESCAPE_KEY})
    {
        SCOPED_TRACE(static_cast<int>(request));
        switch (request)
        {
        case AboutRequest::ESCAPE_KEY:
            PostMessageA(GetDlgItem(run.dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageA(GetDlgItem(run.dialog, IDOK), WM_KEYUP, VK_ESCAPE, 0xC0010001);
            break;
        case AboutRequest::CANCEL_COMMAND:
            PostMessageA(run.dialog, WM_COMMAND, IDCANCEL, 0);
            break;
        case AboutRequest::ABOUT_BUTTON:
            PressButton(run.dialog, ABOUT_BUTTON_ID);
            break;
        }
        HWND about = run.WaitForOther(DIALOG_WAIT_MS);
        ASSERT_NE(about, nullptr) << "no About dialog";
        EXPECT_EQ(WindowText(about), ABOUT_TITLE);
        EXPECT_TRUE(IsWindowVisible(run.dialog)) << "the results dialog stays open under About";
        EXPECT_EQ(run.Others().size(), 1u) << "one About dialog";
        PressButton(about, IDOK);
        // Taken down, not only hidden: the program is back in the results dialog.
        ASSERT_TRUE(WaitUntil([about] { return !IsWindow(about); }, DIALOG_WAIT_MS)) << "About stays";
        EXPECT_TRUE(IsWindowVisible(run.dialog)) << "closing About leaves the results dialog open";
        EXPECT_TRUE(run.Others().empty());
        EXPECT_EQ(ListCells(list), cells);
    }

    PressButton(run.dialog, IDOK);
    DWORD exitCode = 0;
    std::vector<SeenDialog> seen;
    ASSERT_TRUE(run.RunToEnd(&seen, &exitCode));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(exitCode, 0u);
}

// One row's cell as drawn: the columns of [left, right) that hold text pixels (anything but the
// list's background), and for each the topmost and bottommost such pixel.
struct CellInk
{
    std::vector<int> top; // per column; -1 when the column is blank
    std::vector<int> bottom;
    int left;
};

CellInk InkOf(const Capture &capture, const RECT &row, int left, int right)
{
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    CellInk ink;
    ink.left = left;
    right = std::min(right, capture.width);
    for (int x = left; x < right; x++)
    {
        int top = -1;
        int bottom = -1;
        for (int y = row.top; y < row.bottom && y < capture.height; y++)
            if (At(capture, x, y) != background)
            {
                if (top < 0)
                    top = y;
                bottom = y;
            }
        ink.top.push_back(top);
        ink.bottom.push_back(bottom);
    }
    return ink;
}

// The rightmost inked column of a cell, or -1.
int RightmostInk(const CellInk &ink)
{
    for (int i = static_cast<int>(ink.top.size()) - 1; i >= 0; i--)
        if (ink.top[i] >= 0)
            return ink.left + i;
    return -1;
}

// Runs of inked columns, left to right, as [first, last] pairs.
std::vector<std::pair<int, int>> InkRuns(const CellInk &ink)
{
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < static_cast<int>(ink.top.size()); i++)
    {
        if (ink.top[i] < 0)
            continue;
        if (!runs.empty() && runs.back().second == ink.left + i - 1)
            runs.back().second = ink.left + i;
        else
            runs.push_back({ink.left + i, ink.left + i});
    }
    return runs;
}

// Whether the text ends in three full stops: its last three inked runs are small marks alike in
// size, on one line in the lower part of the text, evenly spaced.
bool EndsWithDots(const CellInk &ink, std::string *why)
{
    std::vector<std::pair<int, int>> runs = InkRuns(ink);
    if (runs.size() < 4)
    {
        *why = "fewer than four marks";
        return false;
    }
    int textTop = INT_MAX;
    int textBottom = -1;
    for (size_t i = 0; i < ink.top.size(); i++)
        if (ink.top[i] >= 0)
        {
            textTop = std::min(textTop, ink.top[i]);
            textBottom = std::max(textBottom, ink.bottom[i]);
        }
    int dotTop[3];
    int dotBottom[3];
    for (int d = 0; d < 3; d++)
    {
        const std::pair<int, int> &run = runs[runs.size() - 3 + d];
        if (run.second - run.first + 1 > 3)
        {
            *why = "a final mark is wider than a dot";
            return false;
        }
        dotTop[d] = INT_MAX;
        dotBottom[d] = -1;
        for (int x = run.first; x <= run.second; x++)
        {
            dotTop[d] = std::min(dotTop[d], ink.top[x - ink.left]);
            dotBottom[d] = std::max(dotBottom[d], ink.bottom[x - ink.left]);
        }
        if (dotBottom[d] - dotTop[d] + 1 > 3)
        {
            *why = "a final mark is taller than a dot";
            return false;
        }
        if (dotTop[d] < textTop + (textBottom - textTop) / 2)
        {
            *why = "a final mark stands in the upper half of the text";
            return false;
        }
    }
    if (dotBottom[0] != dotBottom[1] || dotBottom[1] != dotBottom[2])
    {
        *why = "the final marks are not on one line";
        return false;
    }
    int gap1 = runs[runs.size() - 2].first - runs[runs.size() - 3].first;
    int gap2 = runs[runs.size() - 1].first - runs[runs.size() - 2].first;
    if (gap1 != gap2)
    {
        *why = "the final marks are not evenly spaced";
        return false;
    }
    return true;
}

void SetComponentWidth(HWND list, int width)
{
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(width, 0));
}

// The pixels of [left, right) x [top, bottom) of a capture.
std::vector<COLORREF> Block(const Capture &capture, int left, int right, int top, int bottom)
{
    std::vector<COLORREF> block;
    for (int y = top; y < bottom; y++)
        for (int x = left; x < right; x++)
            block.push_back(At(capture, x, y));
    return block;
}

// The text a cell of this width shows for text: the whole text when it fits in the width less
// four, else the longest prefix that fits, less its last letter, followed by "...". Measured in
// the list's own font.
std::string ShownText(HWND list, const std::string &text, int width)
{
    size_t fits = text.size();
    while (fits > 0 && ListStringWidth(list, text.substr(0, fits)) > width - 4)
        fits--;
    if (fits == text.size())
        return text;
    return fits > 0 ? text.substr(0, fits - 1) + "..." : "";
}

TEST(ResultsDialog, NarrowComponentColumnShortensLongNamesWithDots)
{
    const std::string longName = "registration_sample.ocx";
    const int wide = 300;
    std::string dir = MakeWorkFolder("results widths");
    PlaceComponent("ok", dir, longName.c_str());
    PlaceComponent("ok", dir, "ok.dll");
    // A name with an ampersand is drawn as it is, not as a mnemonic prefix.
    PlaceComponent("ok", dir, "R&D.ocx");
    PlaceComponent("ok", dir, "RD.ocx");
    ProgramRun run;
    const std::string arguments =
        "\"" + dir + "\\" + longName + "\" \"" + dir + "\\ok.dll\" \"" + dir + "\\R&D.ocx\" \"" + dir + "\\RD.ocx\"";
    ASSERT_TRUE(run.Open(arguments, dir, RESULTS_TITLE)) << "no results dialog";
    HWND list = GetDlgItem(run.dialog, LIST_ID);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(ListItemCount(list), 4);
    const RECT longRow = ListItemRect(list, 0);
    const RECT shortRow = ListItemRect(list, 1);
    const int textLeft = longRow.left + 2;

    // A narrow width at which the shortened name, dots included, is drawn whole inside the cell
    // (elsewhere the cell's edge may clip the last dots).
    ASSERT_LE(ListStringWidth(list, longName), wide - 4);
    int narrow = 0;
    std::string shown;
    for (int width = 40; width < wide && narrow == 0; width++)
    {
        shown = ShownText(list, longName, width);
        if (shown != longName && shown.size() >= 7 && ListStringWidth(list, shown) <= width - 2)
            narrow = width;
    }
    ASSERT_NE(narrow, 0) << "no width shows the name shortened with all its dots";
    SCOPED_TRACE("narrow width " + std::to_string(narrow) + ": " + shown);
    const std::string letters = shown.substr(0, shown.size() - 3);
    const int lettersRight = textLeft + ListStringWidth(list, letters);
    const int shownRight = textLeft + ListStringWidth(list, shown);

    const Capture opened = CaptureWhen(list, [](const Capture &) { return true; });
    SetComponentWidth(list, wide);
    ASSERT_EQ(ListColumnWidth(list, 0), wide);
    Capture wideCapture = ChangedCapture(list, opened);
    SetComponentWidth(list, narrow);
    ASSERT_EQ(ListColumnWidth(list, 0), narrow);
    Capture narrowCapture = ChangedCapture(list, wideCapture);
    SetComponentWidth(list, wide);
    Capture widenedCapture = ChangedCapture(list, narrowCapture);
    SaveForInspection(wideCapture, "wide");
    SaveForInspection(narrowCapture, "narrow");
    ASSERT_GT(wideCapture.width, wide + CODE_WIDTH);

    // Wide, the long name is drawn whole: it ends in its own last letter, not in dots.
    CellInk wideInk = InkOf(wideCapture, longRow, longRow.left, longRow.left + wide);
    std::string why;
    EXPECT_FALSE(EndsWithDots(wideInk, &why)) << "the whole name fits";
    int wideRight = RightmostInk(wideInk);
    EXPECT_GT(wideRight, shownRight) << "the whole name reaches beyond the shortened one";

    // Narrow, it is shortened and ends in "..." where the shortened text ends.
    CellInk narrowInk = InkOf(narrowCapture, longRow, longRow.left, longRow.left + narrow);
    EXPECT_TRUE(EndsWithDots(narrowInk, &why)) << why;
    int narrowRight = RightmostInk(narrowInk);
    EXPECT_LE(narrowRight, shownRight);
    EXPECT_GT(narrowRight, shownRight - 4);
    std::vector<std::pair<int, int>> runs = InkRuns(narrowInk);
    ASSERT_GE(runs.size(), 4u);
    EXPECT_GE(runs[runs.size() - 3].first, lettersRight - 1) << "the dots follow the letters kept";
    // Before the dots, the same letters as in the whole name, at the same places.
    ASSERT_GT(lettersRight - 1, textLeft + 10);
    EXPECT_EQ(Block(narrowCapture, longRow.left, lettersRight - 1, longRow.top, longRow.bottom),
              Block(wideCapture, longRow.left, lettersRight - 1, longRow.top, longRow.bottom));

    // A short name fits either way and is drawn unchanged.
    EXPECT_EQ(Block(narrowCapture, shortRow.left, shortRow.left + narrow, shortRow.top, shortRow.bottom),
              Block(wideCapture, shortRow.left, shortRow.left + narrow, shortRow.top, shortRow.bottom));
    EXPECT_FALSE(EndsWithDots(InkOf(narrowCapture, shortRow, shortRow.left, shortRow.left + narrow), &why));

    // The Code cell follows the Component column's width.
    for (const RECT &row : {longRow, shortRow})
        EXPECT_EQ(Block(narrowCapture, row.left + narrow, row.left + narrow + CODE_WIDTH, row.top, row.bottom),
                  Block(wideCapture, row.left + wide, row.left + wide + CODE_WIDTH, row.top, row.bottom));

    // "R&D.ocx" reaches as far beyond "RD.ocx" as the ampersand is wide; drawn as a prefix it
    // would be "RD.ocx" with D underlined, no wider.
    const int ampersand = ListStringWidth(list, "R&D.ocx") - ListStringWidth(list, "RD.ocx");
    ASSERT_GT(ampersand, 2);
    const RECT ampersandRow = ListItemRect(list, 2);
    const RECT plainRow = ListItemRect(list, 3);
    EXPECT_GT(RightmostInk(InkOf(wideCapture, ampersandRow, ampersandRow.left, ampersandRow.left + wide)),
              RightmostInk(InkOf(wideCapture, plainRow, plainRow.left, plainRow.left + wide)) + ampersand / 2);

    // Widening again restores the whole name.
    EXPECT_EQ(Block(widenedCapture, longRow.left, longRow.left + wide, longRow.top, longRow.bottom),
              Block(wideCapture, longRow.left, longRow.left + wide, longRow.top, longRow.bottom));

    PressButton(run.dialog, IDOK);
    DWORD exitCode = 0;
    std::vector<SeenDialog> seen;
    EXPECT_TRUE(run.RunToEnd(&seen, &exitCode));
}

} // namespace
