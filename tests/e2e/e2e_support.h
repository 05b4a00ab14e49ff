#pragma once
// What the end-to-end tests share: where the program and the test components are, work
// folders, the system's own texts, and a run of the program that answers its dialogs.
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver.h"

constexpr DWORD DIALOG_WAIT_MS = 20000;
constexpr DWORD EXIT_WAIT_MS = 60000;

// The folder of the test executable, where the build puts the program and the test components.
std::string BinFolder();
std::string ProgramPath();

// A new empty folder for one test: "<temp>\tolvane-e2e\<name>-<n>".
std::string MakeWorkFolder(const char *name);

// Copies the built test component (e.g. "ok") into folder as fileName; returns the new path.
std::string PlaceComponent(const char *component, const std::string &folder, const char *fileName);

bool WriteTextFile(const std::string &path, const char *text);
std::vector<std::string> ReadLines(const std::string &path);

// The system's one-line text for code, as a user sees it in this prefix, with path in place of
// its "%1", or the program's "no message" sentence when the system has none.
std::string SystemText(uint32_t code, const std::string &path = "");
// The same, less its last two characters, as a row of the results table holds it.
std::string SystemRowText(uint32_t code, const std::string &path = "");

// The error that LoadLibraryA gives for path in this prefix.
DWORD LoadError(const std::string &path);

struct SeenDialog
{
    std::string title;
    std::string text;
};

struct RunResult
{
    bool started;
    bool exited;
    DWORD exitCode;
    std::vector<SeenDialog> dialogs;  // in the order they appeared
};

// Runs the program with arguments in folder. Each dialog it opens is recorded and then handed to
// onDialog (default: press OK); the run ends when the program exits.
RunResult RunProgram(const std::string &arguments, const std::string &folder,
                     const std::function<void(HWND, const Launched &)> &onDialog = nullptr);
RunResult RunProgram(const std::wstring &arguments, const std::string &folder,
                     const std::function<void(HWND, const Launched &)> &onDialog = nullptr);
// The same with the program at programPath, e.g. a copy beside a stand-in twin.
RunResult RunProgramAt(const std::string &programPath, const std::wstring &arguments, const std::string &folder,
                       const std::function<void(HWND, const Launched &)> &onDialog = nullptr);
