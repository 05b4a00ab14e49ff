#pragma once
// What the end-to-end tests share: where the program and the test components are, work
// folders, the system's own texts, waits for what the program shows, and a run of the program.
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver.h"

constexpr DWORD DIALOG_WAIT_MS = 20000;
constexpr DWORD EXIT_WAIT_MS = 60000;
constexpr DWORD PAINT_WAIT_MS = 5000;

// The folder of the test executable, where the build puts the program and the test components.
std::string BinFolder();
std::string ProgramPath();

// The bits of the machine (32 or 64) that the Windows image at path is built for, read from the
// Machine field of its PE file header; 0 when it is no x86 or x64 image.
int ImageBits(const std::string &path);
// The same of the program under test: what depends on its bitness (the registry view it writes,
// its twin, the layout of its process) is composed from this, never assumed from the test's own.
int ProgramBits();
// The twin's file name: the program of the other bitness, which a program hands components of
// that machine to (tolvane64.exe beside the 32-bit program, tolvane.exe beside the 64-bit one); empty for an unknown bitness.
std::string TwinName(int programBits = ProgramBits());

// A new empty folder for one test: "<temp>\tolvane-e2e\<name>-<n>".
std::string MakeWorkFolder(const char *name);

// Copies the built test component (e.g. "ok") into folder as fileName; returns the new path.
std::string PlaceComponent(const char *component, const std::string &folder, const char *fileName);

bool WriteTextFile(const std::string &path, const char *text);

// A log's lines (/L): "#" for a run's header, "call|full path|0xcode|text" for a row; each row's
// time and milliseconds are checked for their form.
std::vector<std::string> LogLines(const std::string &path);
std::vector<std::string> ReadLines(const std::string &path);

// text with every placeholder in it replaced by value.
std::string ReplaceAll(std::string text, const std::string &placeholder, const std::string &value);

// The system's one-line text for code, as a user sees it in this prefix, with path in place of
// its "%1", or the program's "no message" sentence when the system has none.
std::string SystemText(uint32_t code, const std::string &path = "");
// The same, less its last two characters, as a row of the results table holds it.
std::string SystemRowText(uint32_t code, const std::string &path = "");

// The offset of a module's export from its base, as "1a2b"; empty when it has none.
std::string ExportOffset(const std::string &path, const char *name);

// The error that LoadLibraryA gives for path in this prefix.
DWORD LoadError(const std::string &path);

// Polls condition until it holds; false on time-out.
bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs);

// Waits until the window is hidden or destroyed; false on time-out.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

// The window with the keyboard focus in the thread of window; null when there is none.
HWND FocusOf(HWND window);

// The window's client area once it shows what ready looks for and its painting is done: nothing
// left to paint, and two captures in a row the same. On time-out, the last capture.
Capture CaptureWhen(HWND window, const std::function<bool(const Capture &)> &ready, DWORD timeoutMs = PAINT_WAIT_MS);

struct SeenDialog
{
    std::string title;
    std::string text;
};

// Answers a dialog of the program, e.g. presses one of its buttons.
using DialogAnswer = std::function<void(HWND dialog)>;

// One run of the program: starts it, waits for its dialogs and its end, and answers the dialogs
// it opens. A program that still runs when the test is done with it is ended.
struct ProgramRun
{
    Launched program = {};
    HWND dialog = nullptr; // the dialog that Open waited for; RunToEnd leaves it to the test

    ProgramRun() = default;
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;
    ~ProgramRun();

    // Starts the program with arguments in folder (empty: the test's current folder), or the copy
    // of it at programPath. False when it cannot start.
    bool Start(const std::string &arguments, const std::string &folder);
    bool Start(const std::wstring &arguments, const std::string &folder,
               const std::string &programPath = ProgramPath());
    // Starts the program and waits for its dialog with this title, which becomes dialog.
    bool Open(const std::string &arguments, const std::string &folder, const char *title);

    bool Running() const;
    // The program's visible dialogs, in Z order, and those of them other than dialog.
    std::vector<HWND> Dialogs() const;
    std::vector<HWND> Others() const;
    // Waits for a dialog with this title (null: any title) that is not one of known; null on time-out.
    HWND WaitForDialog(const char *title, const std::vector<HWND> &known = {}, DWORD timeoutMs = DIALOG_WAIT_MS) const;
    // Waits for a dialog other than dialog; null on time-out.
    HWND WaitForOther(DWORD timeoutMs = DIALOG_WAIT_MS) const;
    // Waits for the program's end; exitCode gets its full 32-bit exit code. False on time-out.
    bool WaitForExit(DWORD timeoutMs, DWORD *exitCode) const;
    // Waits for the program's end. Each dialog other than dialog that opens meanwhile is added to
    // seen and then handed once to answer (default: press OK). False when it has not ended within
    // EXIT_WAIT_MS.
    bool RunToEnd(std::vector<SeenDialog> *seen, DWORD *exitCode, const DialogAnswer &answer = nullptr);
};

struct RunResult
{
    bool started;
    bool exited;
    DWORD exitCode;
    std::vector<SeenDialog> dialogs; // in the order they appeared
};

// Runs the program with arguments in folder to its end (ProgramRun::RunToEnd).
RunResult RunProgram(const std::string &arguments, const std::string &folder, const DialogAnswer &answer = nullptr);
RunResult RunProgram(const std::wstring &arguments, const std::string &folder, const DialogAnswer &answer = nullptr);
// The same with the program at programPath, e.g. a copy beside a stand-in twin.
RunResult RunProgramAt(const std::string &programPath, const std::wstring &arguments, const std::string &folder,
                       const DialogAnswer &answer = nullptr);
