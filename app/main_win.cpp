// TolVane: registers and unregisters self-registering COM components named on the command line.
#include <windows.h>
#include <ole2.h>
#include <cstdio>

#include "about/about_dialog_win.h"
#include "app/arguments_win.h"
#include "app/batch.h"
#include "app/child/child_run_win.h"
#include "app/child/twin_win.h"
#include "app/guard/crash_guard_win.h"
#include "app/guard/watchdog_win.h"
#include "app/manifest/manifest_win.h"
#include "app/options.h"
#include "app/platform_win.h"
#include "app/registry/redirect_win.h"
#include "base/program_texts.h"
#include "base/system_win.h"
#include "report/log_win.h"
#include "report/outcome_win.h"
#include "report/results_dialog_win.h"

// Tells the user about components that got no row (more than the table holds, or no memory).
static void ReportUnprocessed()
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "%d of the components named on the command line were not processed: TolVane could not "
                  "record more than the %d before them.",
                  resultsTable.unprocessedCount, resultsTable.rowCount);
    MessageBoxA(nullptr, text, ERROR_TITLE, MB_SYSTEMMODAL | MB_ICONINFORMATION);
}

// The common controls, for the results list. comctl32.dll is not on the system's KnownDLLs list,
// so a static import would be taken from the program's own folder first, often a download folder
// holding whatever else was downloaded: it is loaded from the system folder by its full path.
static void InitCommonControlsFromSystem()
{
    HMODULE controls = LoadSystemModule("comctl32.dll");
    typedef void(WINAPI * InitProc)(void);
    InitProc init =
        controls != nullptr
            ? reinterpret_cast<InitProc>(reinterpret_cast<void *>(GetProcAddress(controls, "InitCommonControls")))
            : nullptr;
    if (init != nullptr)
        init();
}

// Tells the user that a file the run was to write cannot be written, and why: what it could not do
// ("open the log file"), and whether nothing was registered for it.
static void ReportFileFailure(const char *what, bool nothingRegistered, const char *path, DWORD error)
{
    char reason[512];
    char text[1280];
    FormatSystemText(WinSystemText, error, path, reason, sizeof reason);
    std::snprintf(text, sizeof text, "TolVane could not %s '%s'%s:\n%s", what, path,
                  nothingRegistered ? ", so it registered nothing" : "", reason);
    MessageBoxA(nullptr, text, ERROR_TITLE, MB_SYSTEMMODAL | MB_ICONINFORMATION);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    // Unattended runs: no "insert a disk" style box from the system, and no crash box: a component
    // that crashes ends its own call, not the run, and a crash beyond the guard's reach ends the
    // run with its exception code instead of waiting for somebody to close a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    InstallCrashGuard();

    appInstance = instance;

    // Never the runtime's own argument vector: it is made with best-fit look-alikes.
    const bool empty = commandLine == nullptr || commandLine[0] == '\0';
    AnsiArguments arguments = {};
    if (!empty && !ReadAnsiArguments(&arguments))
        return ERROR_NOT_ENOUGH_MEMORY;
    // A run started by another TolVane reports its rows to it, and takes its mode from its
    // command line alone: whatever keys are held meanwhile.
    bool twin = false;
    childRun = !empty && TakeChildArgument(&arguments, &twin);
    twinRun = twin;

    silentMode = 0;
    unregisterMode = !childRun && (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0;

    HRESULT ole = OleInitialize(nullptr);
    if (ole != S_OK)
    {
        char text[512];
        ComposeOleFailureMessage(ole, text, sizeof text);
        if (!childRun) // a child's box would wait for nobody: the first process reports it as ended
            MessageBoxA(nullptr, text, PROGRAM_TITLE, MB_SYSTEMMODAL | MB_ICONSTOP);
        if (SUCCEEDED(ole)) // S_FALSE still counts an initialisation that must be undone
            OleUninitialize();
        return 0;
    }

    if (empty)
    {
        InitCommonControlsFromSystem();
        OpenAboutDialog();
        OleUninitialize();
        return 0;
    }

    // A silent run has a watchdog, and every run a log when it asks for one (its first process
    // writes it): a log that cannot be opened ends the run before any component is called.
    const RunWideOptions runWide = ScanRunWideOptions(arguments.count, arguments.values, arguments.unrepresentable);
    if (runWide.silent)
        StartWatchdog(AbandonCall, BatchExitValue);
    DWORD logError = 0;
    if (runWide.logFile != nullptr && !childRun && !OpenLog(runWide.logFile, &logError))
    {
        if (!runWide.silent)
            ReportFileFailure("open the log file", true, runWide.logFile, logError);
        OleUninitialize();
        return static_cast<int>(logError);
    }
    // So is a record file that cannot be written; the first process writes it, after the batch.
    uint32_t recordError = 0;
    const bool recording = runWide.recordFile != nullptr && !childRun;
    if (recording && !PrepareRecordFile(runWide.recordFile, &recordError))
    {
        if (!runWide.silent)
            ReportFileFailure("write the record file", true, runWide.recordFile, recordError);
        OleUninitialize();
        return static_cast<int>(recordError);
    }
    // And so is a folder that /M names and that cannot be written.
    for (int i = 1; i < arguments.count && !childRun; i++)
    {
        const char *folder = OptionValue(arguments.values[i]);
        if ((arguments.unrepresentable != nullptr && arguments.unrepresentable[i]) ||
            ClassifyArgument(arguments.values[i]) != ARGUMENT_MANIFEST || folder[0] == '\0' ||
            PrepareManifestFolder(folder, &recordError))
            continue;
        if (!runWide.silent)
            ReportFileFailure("write a manifest into the folder", true, folder, recordError);
        OleUninitialize();
        return static_cast<int>(recordError);
    }
    SetChildTextSink(AddRecordedText);

    SetRestArguments(&arguments);
    ListenForProcessEnd();
    RunBatch(arguments.count, arguments.values, winPlatformOps, arguments.unrepresentable);
    if (childRun)
    {
        ReportChildEnd();
        silentMode = 1; // the first process shows every row
    }
    if (recording && !WriteRecordFile(&recordError))
    {
        if (!silentMode)
            ReportFileFailure("write the record file", false, runWide.recordFile, recordError);
        OleUninitialize();
        return static_cast<int>(recordError);
    }

    if (!silentMode)
    {
        // Only now: a silent run shows no window and never needs them.
        InitCommonControlsFromSystem();
        if (resultsTable.rowCount >= 2)
            OpenResultsDialog();
        else if (resultsTable.rowCount == 1)
            ShowOutcome(0);
        else if (resultsTable.unprocessedCount == 0)
            OpenAboutDialog(); // options only: there is no outcome to show
        if (resultsTable.unprocessedCount > 0)
            ReportUnprocessed();
    }

    int32_t exitCode = BatchExitValue();
    OleUninitialize();
    return exitCode;
}
