// TolVane: registers and unregisters self-registering COM components named on the command line.
#include <windows.h>
#include <ole2.h>
#include <cstdio>

#include "about/about_dialog_win.h"
#include "app/arguments_win.h"
#include "app/batch.h"
#include "app/child/child_run_win.h"
#include "app/twin/twin_win.h"
#include "app/expand/expand_win.h"
#include "app/guard/crash_guard_win.h"
#include "app/guard/process_end_win.h"
#include "app/watchdog/watchdog_win.h"
#include "app/manifest/manifest_win.h"
#include "app/options.h"
#include "app/platform_win.h"
#include "app/redirect/redirect_win.h"
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

// Tells the user that a file the run was to write cannot be written, and why (reason, or the
// system's words for error): what it could not do ("open the log file"), and whether nothing was
// registered for it. Its error is the exit code.
static int StopRun(const char *what, bool nothingRegistered, const char *path, DWORD error, bool silent,
                   const char *reason = nullptr)
{
    if (!silent)
    {
        char systemText[512];
        char text[1280];
        if (reason == nullptr)
            FormatSystemText(WinSystemText, error, path, systemText, sizeof systemText);
        std::snprintf(text, sizeof text, "TolVane could not %s '%s'%s:\n%s", what, path,
                      nothingRegistered ? ", so it registered nothing" : "", reason != nullptr ? reason : systemText);
        MessageBoxA(nullptr, text, ERROR_TITLE, MB_SYSTEMMODAL | MB_ICONINFORMATION);
    }
    return static_cast<int>(error);
}

// Why the log or the record file must not be written where it is; null when it may.
static const char *RefuseRunFile(const RunFile &file, const AnsiArguments &arguments, const RunWideOptions &runWide,
                                 uint32_t *error)
{
    RunFileTarget target = {};
    const DWORD attributes = GetFileAttributesA(file.path);
    target.exists = attributes != INVALID_FILE_ATTRIBUTES;
    target.folder = target.exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    target.readOnly = target.exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    unsigned char start[512];
    target.start = start;
    target.count = target.exists && !target.folder ? ReadFileStart(file.path, start, sizeof start) : 0;
    for (int i = 1; target.exists && i < arguments.count && !target.component; i++)
        target.component = (arguments.unrepresentable == nullptr || !arguments.unrepresentable[i]) &&
                           ClassifyArgument(arguments.values[i]) == ARGUMENT_COMPONENT &&
                           WinSameFile(arguments.values[i], file.path);
    target.log = target.exists && runWide.logFile != nullptr && WinSameFile(runWide.logFile, file.path);
    return RunFileRefusal(file.kind, target, error);
}

// Opens the log, or checks that the record file or a manifest folder can be written.
static bool PrepareRunFile(const RunFile &file, uint32_t *error)
{
    DWORD logError = 0;
    switch (file.kind)
    {
    case RUN_FILE_LOG:
        if (OpenLog(file.path, &logError))
            return true;
        *error = logError;
        return false;
    case RUN_FILE_RECORD:
        return PrepareRecordFile(file.path, error);
    case RUN_FILE_MANIFEST_FOLDER:
        return PrepareManifestFolder(file.path, error);
    }
    return false;
}

// Shows what the batch came to: one row in a message box, several in the results dialog.
static void ReportOutcomes()
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

// The watchdog abandons a step past the time limit: a child run tells the process that started
// it that it stops here.
static bool Abandon(uint32_t limitSeconds)
{
    if (!AbandonCall(limitSeconds))
        return false;
    if (childRun)
        ReportChildEnd();
    return true;
}

// Registers the components of the command line; the run's exit code.
static int RunComponents(const AnsiArguments &arguments)
{
    // A silent run has a watchdog. The first process checks every file it is to write before any
    // component is called: the log, the record file, the manifest folders.
    const RunWideOptions runWide = ScanRunWideOptions(arguments.count, arguments.values, arguments.unrepresentable);
    if (runWide.silent)
        StartWatchdog(Abandon, BatchExitValue);
    if (runWide.badTimeLimit != nullptr)
    {
        char text[512];
        ComposeBadTimeLimitMessage(runWide.badTimeLimit, text, sizeof text);
        if (!runWide.silent)
            MessageBoxA(nullptr, text, ERROR_TITLE, MB_SYSTEMMODAL | MB_ICONINFORMATION);
        return ERROR_INVALID_PARAMETER;
    }
    uint32_t error = 0;
    for (RunFile file = {};
         !childRun && NextRunFile(arguments.count, arguments.values, arguments.unrepresentable, runWide, &file);)
    {
        if (const char *reason = RefuseRunFile(file, arguments, runWide, &error))
            return StopRun(file.what, true, file.path, error, runWide.silent, reason);
        if (!PrepareRunFile(file, &error))
            return StopRun(file.what, true, file.path, error, runWide.silent);
    }
    SetChildTextSink(AddRecordedText);
    SetRestArguments(&arguments);
    // A child's end is seen by the process that started it, with the exit code too.
    if (!childRun)
        ListenForProcessEnd(PendingCall, LogRow);
    RunBatch(arguments.count, arguments.values, arguments.unrepresentable, runWide, WinPlatformOps());
    if (childRun)
        ReportChildEnd(); // the first process shows every row
    else if (runWide.recordFile != nullptr && !WriteRecordFile(&error))
        return StopRun("write the record file", false, runWide.recordFile, error, silentMode != 0);
    else if (!silentMode)
        ReportOutcomes();
    // A log that lost lines says so in the exit code, when nothing else failed.
    const int32_t exitValue = BatchExitValue();
    return exitValue == 0 && LogWriteError() != 0 ? static_cast<int>(LogWriteError()) : exitValue;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    // Unattended runs: no "insert a disk" style box from the system, and no crash box: a component
    // that crashes ends its own call, not the run, and a crash beyond the guard's reach ends the
    // run with its exception code instead of waiting for somebody to close a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    InstallCrashGuard();
    ArmBatchGuard();

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
    int exitCode = 0;
    if (empty)
    {
        InitCommonControlsFromSystem();
        OpenAboutDialog();
    }
    else
        exitCode = RunComponents(childRun ? arguments : ExpandPatterns(arguments));
    OleUninitialize();
    return exitCode;
}
