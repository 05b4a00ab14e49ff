#pragma once
// A small Win32 UI driver for the end-to-end tests: runs the program, waits for its windows by
// title, reads their controls (message boxes, list views) and presses their buttons. It runs in
// the same Wine prefix and on the same display as the program.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// text, in the ANSI code page, as UTF-16.
std::wstring Widen(const std::string &text);

struct Launched
{
    HANDLE process;
    DWORD processId;
};

// Starts "program arguments" in folder (null: the current one). False when it cannot start.
bool LaunchProgram(const std::string &program, const std::string &arguments, const char *folder, Launched *launched);
// The same with arguments that the ANSI code page may not hold.
bool LaunchProgram(const std::string &program, const std::wstring &arguments, const char *folder, Launched *launched);

// Waits for the process to end; false on time-out. exitCode gets the full 32-bit exit code.
bool WaitForExit(const Launched &launched, DWORD timeoutMs, DWORD *exitCode);

// Ends the process if it still runs, and closes its handle.
void Dispose(Launched &launched);

// Top-level visible dialog windows (class "#32770") of the process, in Z order.
std::vector<HWND> DialogsOf(DWORD processId);

// Waits for a top-level dialog of the process that accept takes; null on time-out.
HWND WaitForDialogWhere(DWORD processId, const std::function<bool(HWND)> &accept, DWORD timeoutMs);

// Waits for a top-level dialog of the process with this title; null on time-out.
HWND WaitForDialog(DWORD processId, const char *title, DWORD timeoutMs);

// Waits until the process has no dialog with this title; false on time-out.
bool WaitForDialogGone(DWORD processId, const char *title, DWORD timeoutMs);

// Waits for any top-level dialog of the process; null on time-out.
HWND WaitForAnyDialog(DWORD processId, DWORD timeoutMs);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);

// A message box's text: its static control 0xFFFF.
std::string MessageBoxText(HWND box);

// Presses a dialog's button: WM_COMMAND with the button's id, as a click does.
void PressButton(HWND dialog, int id);

// Asks the window to close, as the caption's close box does.
void RequestClose(HWND window);

// List view of another process.
int ListItemCount(HWND list);
std::string ListItemText(HWND list, int item, int subItem);
std::string ListColumnTitle(HWND list, int column);
int ListColumnWidth(HWND list, int column);
RECT ListItemRect(HWND list, int item); // in the list's client coordinates
bool SelectListItem(HWND list, int item);

// The screen pixels of a window's client area, row by row, as 0x00BBGGRR values.
struct Capture
{
    int width;
    int height;
    std::vector<COLORREF> pixels;
};
Capture CaptureClient(HWND window);

// Writes a capture as a 24-bit .bmp file.
bool SaveCapture(const Capture &capture, const char *path);

// The width in pixels of text in a list view's current font (LVM_GETSTRINGWIDTHA); -1 when the
// list cannot be reached.
int ListStringWidth(HWND list, const std::string &text);
