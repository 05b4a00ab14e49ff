#include "app/batch.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/child/twin.h"
#include "app/manifest/manifest.h"
#include "app/options.h"
#include "app/registry/redirect.h"

static int32_t exitValue;
static bool entryPointCalled;
static char startFolder[PATH_BUFFER_SIZE];
static bool haveStartFolder;
static bool processPoisoned; // a component crashed in this process: its state is unknown
static const PlatformOps *batchOps;
// The component on its way through the pipeline, for its row's report.
static const char *currentFullPath;
static uint32_t componentStart;
static char *currentPath;
static bool runSilent; // /S stands somewhere on the command line
// The /M option in force, its folder made a full path from the start folder ("/M" alone: none).
static char manifestArgument[PATH_BUFFER_SIZE + 4];
// The arguments of the run, for the rest of the batch after an abandoned call.
struct BatchArguments
{
    int argc;
    char **argv;
    const bool *unrepresentable;
    int current; // the argument whose component is being registered
};
static BatchArguments batchArguments;
// An entry point call: none, one running, or one abandoned (a thread other than the batch's owns
// the run then).
enum CallState
{
    CALL_IDLE,
    CALL_RUNNING,
    CALL_ABANDONED,
};
static std::atomic<int> callState;

constexpr size_t LOAD_TEXT_SIZE = 1024;
constexpr size_t ENTRY_TEXT_SIZE = 512;

static const char OUT_OF_MEMORY_TEXT[] = "The result could not be stored: out of memory.";
static const char UNREPRESENTABLE_TEXT[] =
    "The name of this component holds characters that the system's ANSI code page cannot hold, so TolVane cannot "
    "pass it on; it was not loaded.";

// Empties the table, notes the current folder and forgets the exit value.
static void BeginBatch(const PlatformOps &ops)
{
    // Rows live until the process ends; only a table that is filled again gives back its rows.
    for (int i = 0; i < resultsTable.rowCount; i++)
    {
        std::free(resultsTable.rows[i].componentPath);
        if (resultsTable.rows[i].resultText != OUT_OF_MEMORY_TEXT)
            std::free(const_cast<char *>(resultsTable.rows[i].resultText));
    }
    resultsTable.rowCount = 0;
    resultsTable.unprocessedCount = 0;
    exitValue = 0;
    entryPointCalled = false;
    processPoisoned = false;
    haveStartFolder = ops.currentFolder(startFolder, sizeof startFolder);
    batchOps = &ops;
}

// The calls the current modes ask of a component, in order, as the log names them.
static const char *CallWords()
{
    if (installOption == nullptr)
        return unregisterMode ? "unregister" : "register";
    if (noRegisterMode)
        return "DllInstall";
    return unregisterMode ? "DllInstall+unregister" : "register+DllInstall";
}

static const char *CopyText(const char *text)
{
    size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (copy == nullptr)
        return OUT_OF_MEMORY_TEXT;
    std::memcpy(copy, text, size);
    return copy;
}

// Appends a row as report gives it (its path is the row's buffer), and tells the listener; an
// entry point that was called for it gives the run's exit value.
static void AddRow(char *path, const ChildRow &report)
{
    ResultEntry &row = resultsTable.rows[resultsTable.rowCount];
    row.componentPath = path;
    row.resultText = CopyText(report.text);
    row.resultCode = report.code;
    row.kind = report.kind;
    resultsTable.rowCount++;
    if (report.called)
    {
        entryPointCalled = true;
        exitValue = report.result;
    }
    if (batchOps->rowAdded != nullptr)
    {
        ChildRow told = report;
        told.path = path;
        told.text = row.resultText;
        batchOps->rowAdded(told);
    }
}

// The component whose rows come next: its full path (null: it has none) and the time it starts.
static void BeginComponent(const char *fullPath, char *path = nullptr)
{
    currentFullPath = fullPath;
    currentPath = path;
    componentStart = batchOps->milliseconds();
}

// The full path a row of the current component reports: path itself when it has none.
static const char *ReportedPath(const char *path)
{
    return currentFullPath != nullptr && currentFullPath[0] != '\0' ? currentFullPath : path;
}

static uint32_t Elapsed()
{
    return batchOps->milliseconds() - componentStart;
}

// Appends the current component's row; called tells that an entry point was called for it and
// returned result.
static void AppendRow(char *path, const char *text, int32_t code, RowKind kind = ROW_BY_CODE, bool called = false,
                      int32_t result = 0)
{
    // What the component showed and TolVane answered goes with its row.
    char note[LOAD_TEXT_SIZE];
    char combined[2 * LOAD_TEXT_SIZE];
    if (batchOps->takeWindowNote(note, sizeof note))
    {
        const size_t length = std::strlen(text);
        std::snprintf(combined, sizeof combined, "%s%s %s", text, length > 0 && text[length - 1] != '.' ? "." : "",
                      note);
        text = combined;
    }
    AddRow(path, ChildRow{path, text, code, kind, called, result, ReportedPath(path), CallWords(), Elapsed()});
}

static void AppendSystemFailure(char *path, uint32_t code, size_t textSize, const PlatformOps &ops,
                                RowKind kind = ROW_BY_CODE, bool called = false, int32_t result = 0)
{
    char text[LOAD_TEXT_SIZE];
    FormatSystemRowText(ops.systemText, code, path, text, textSize < sizeof text ? textSize : sizeof text);
    AppendRow(path, text, static_cast<int32_t>(code), kind, called, result);
}

static void AppendNotFound(char *path)
{
    char text[LOAD_TEXT_SIZE];
    std::snprintf(text, sizeof text, "The component '%s' could not found on this computer.", path);
    AppendRow(path, text, RESULT_COMPONENT_NOT_FOUND);
}

static const char *RegisterCallName()
{
    return unregisterMode ? "DllUnregisterServer" : "DllRegisterServer";
}

static void AppendNoEntryPoint(char *path, const char *name)
{
    char text[LOAD_TEXT_SIZE];
    std::snprintf(text, sizeof text, "%s entry point not found", name);
    AppendRow(path, text, RESULT_ENTRY_POINT_NOT_FOUND);
}

// /N without /I: no call is asked for, and nothing is loaded.
static void AppendNothingAsked(char *path)
{
    char text[LOAD_TEXT_SIZE];
    std::snprintf(text, sizeof text,
                  "Nothing was done: /N leaves out %s, and no /I asks for DllInstall, so no call was asked for "
                  "this component.",
                  RegisterCallName());
    AppendRow(path, text, RESULT_INVALID_PARAMETER, ROW_OWN_TEXT);
}

static void AppendSuccess(char *path)
{
    char text[LOAD_TEXT_SIZE];
    std::snprintf(text, sizeof text, "%s successfully", unregisterMode ? "Unregistered" : "Registered");
    AppendRow(path, text, 0, ROW_BY_CODE, true, 0);
}

// A component whose process ended before it reported the outcome: the exit code counts as the
// entry point's result, as it would have in a process of its own.
static void AppendChildEnded(char *path, uint32_t exitCode)
{
    char text[LOAD_TEXT_SIZE];
    ComposeChildEndedText(exitCode, text, sizeof text);
    AppendRow(path, text, static_cast<int32_t>(exitCode), ROW_OWN_TEXT, true, static_cast<int32_t>(exitCode));
}

static bool IsBlank(const char *path)
{
    for (; *path != '\0'; path++)
        if (*path != ' ')
            return false;
    return true;
}

// A path that is not a drive-root or network path is resolved against the current folder.
static bool DependsOnCurrentFolder(const char *path)
{
    size_t root = 0;
    return PathRoot(path, std::strlen(path), &root) && root < 3;
}

// The plain form of a "\\?\" path to a drive or a share ("C:\x", "\\server\share\x") when it names
// the same file: no component ends in a dot or a blank, which the plain form would drop. Null when
// there is none.
static const char *PlainFormOf(const char *path, char *plain)
{
    const char *rest = nullptr;
    if (std::strncmp(path, "\\\\?\\UNC\\", 8) == 0)
    {
        plain[0] = '\\';
        std::strcpy(plain + 1, path + 7);
        rest = plain;
    }
    else if (std::strncmp(path, "\\\\?\\", 4) == 0 && path[4] != '\0' && path[5] == ':' && path[6] == '\\')
    {
        std::strcpy(plain, path + 4);
        rest = plain;
    }
    if (rest == nullptr)
        return nullptr;
    for (const char *at = rest; *at != '\0'; at++)
        if ((*at == '.' || *at == ' ') && (at[1] == '\\' || at[1] == '\0'))
            return nullptr;
    return rest;
}

void ExactModuleName(const char *fullPath, LeadByteTest isLeadByte, char *out)
{
    // The loader adds ".dll" to a name without an extension, and the system drops a trailing dot
    // only from a plain path: a "\\?\" path is loaded in its plain form, where it has one.
    char plain[PATH_BUFFER_SIZE];
    const bool literal = std::strncmp(fullPath, "\\\\?\\", 4) == 0;
    const char *path = literal ? PlainFormOf(fullPath, plain) : fullPath;
    if (path == nullptr)
    {
        std::snprintf(out, PATH_BUFFER_SIZE + 1, "%s", fullPath);
        return;
    }
    PathParts parts;
    SplitPath(path, isLeadByte, &parts);
    std::snprintf(out, PATH_BUFFER_SIZE + 1, "%s%s", path, parts.extension[0] == '\0' ? "." : "");
}

// One component on its way through the pipeline.
struct Component
{
    char *path; // the row's componentPath: the argument as given, short names expanded
    char fullPath[PATH_BUFFER_SIZE];
    void *module;
};

// A new row's path buffer; false when no row can be had (the table is full or memory ran out).
static bool AllocateRow(Component &component)
{
    if (resultsTable.rowCount >= MAX_RESULT_ROWS)
    {
        resultsTable.unprocessedCount++;
        return false;
    }
    component.path = static_cast<char *>(std::malloc(PATH_BUFFER_SIZE));
    if (component.path == nullptr)
    {
        resultsTable.unprocessedCount++;
        return false;
    }
    return true;
}

// A new row whose path is the argument as given (whole characters, cut to fit); false as AllocateRow.
static bool RowForArgument(Component &component, const char *argument, LeadByteTest isLeadByte)
{
    if (!AllocateRow(component))
        return false;
    CopyWholeCharacters(component.path, PATH_BUFFER_SIZE, argument, argument + std::strlen(argument), isLeadByte);
    return true;
}

// Copies the argument into the row, expands its short names and makes its full path.
static bool PreparePath(Component &component, const char *argument, const PlatformOps &ops)
{
    if (!AllocateRow(component))
        return false;
    char *path = component.path;

    // A name that cannot fit the path buffer is never loaded: its row keeps what fits.
    if (std::strlen(argument) > PATH_BUFFER_SIZE - 1)
    {
        CopyWholeCharacters(path, PATH_BUFFER_SIZE, argument, argument + std::strlen(argument), ops.isLeadByte);
        AppendSystemFailure(path, RESULT_FILE_NAME_TOO_LONG, LOAD_TEXT_SIZE, ops);
        return false;
    }
    std::strcpy(path, argument);

    // Relative names are taken from the folder the run started in, whoever moved the current folder
    // since (an earlier component's folder, or a component itself): for the expansion of short
    // names as much as for the load.
    if (haveStartFolder && DependsOnCurrentFolder(path))
    {
        char current[PATH_BUFFER_SIZE];
        if (!ops.currentFolder(current, sizeof current) || std::strcmp(current, startFolder) != 0)
            ops.changeFolder(startFolder);
    }
    ExpandLongPath(path, ops.findEntryName, nullptr);

    // The component is tested and loaded by its full path, so the module search order can never
    // pick another file of the same name. A blank name names nothing, and is not found.
    component.fullPath[0] = '\0';
    if (!IsBlank(path) && !ops.fullPath(path, component.fullPath, sizeof component.fullPath))
    {
        const uint32_t error = ops.lastError();
        AppendSystemFailure(path, error != 0 ? error : RESULT_FILE_NAME_TOO_LONG, LOAD_TEXT_SIZE, ops);
        return false;
    }
    return true;
}

// A path that names nothing, or a folder, is not found. A file that exists goes on to the load,
// even if it cannot be read: the load's own error says why.
static bool TestExistence(const Component &component, const PlatformOps &ops)
{
    // A device (CON, NUL, COM1...) is never opened, let alone loaded.
    if (!IsDeviceName(component.fullPath, ops.isLeadByte) && ops.fileExists(component.fullPath))
        return true;
    AppendNotFound(component.path);
    return false;
}

// True when current (as the system gives it: no trailing backslash but at a root) names folder
// (as MakePath gives it: with one).
static bool SameFolder(const char *current, const char *folder)
{
    const size_t length = std::strlen(current);
    if (length == 0)
        return false;
    if (current[length - 1] == '\\')
        return std::strcmp(current, folder) == 0;
    return std::strncmp(current, folder, length) == 0 && folder[length] == '\\' && folder[length + 1] == '\0';
}

// The entry point runs in its component's folder, for the DLLs it loads at run time. The folder is
// changed only when it is not already the current one; asked anew each time, as a component may
// have changed it.
static void EnterFolder(const Component &component, const PlatformOps &ops)
{
    char folder[PATH_BUFFER_SIZE];
    FolderOf(component.fullPath, ops.isLeadByte, folder);
    if (folder[0] == '\0')
        return;
    char current[PATH_BUFFER_SIZE];
    if (ops.currentFolder(current, sizeof current) && SameFolder(current, folder))
        return;
    ops.changeFolder(folder);
}

// The machine of a component that this program cannot load because it is built for another one,
// from its first bytes; 0 when they are not a valid image's header or name this program's own.
static uint16_t ForeignMachine(const unsigned char *bytes, size_t count, const PlatformOps &ops)
{
    ImageHeader header;
    if (!ReadImageHeader(bytes, count, &header) || header.machine == ops.programMachine)
        return 0;
    return header.machine;
}

// Where the registry goes for the calls: recorded (/R) or the current user's (/C), else as it is.
static RedirectMode CurrentRedirect()
{
    if (recordOption != nullptr || manifestOption != nullptr)
        return REDIRECT_RECORD;
    return currentUserMode ? REDIRECT_CURRENT_USER : REDIRECT_NONE;
}

// Maps the registry for the calls; false, with the row, when it cannot be.
static bool RedirectForCalls(char *path, const PlatformOps &ops)
{
    uint32_t error = 0;
    if (CurrentRedirect() == REDIRECT_NONE || ops.beginRedirect(CurrentRedirect(), &error))
        return true;
    AppendSystemFailure(path, error, LOAD_TEXT_SIZE, ops);
    return false;
}

// The folder /M writes into: its own, or the component's.
static void ManifestFolder(char *out, const PlatformOps &ops)
{
    if (manifestArgument[2] == ':')
    {
        std::snprintf(out, PATH_BUFFER_SIZE, "%s", manifestArgument + 3);
        return;
    }
    FolderOf(currentFullPath, ops.isLeadByte, out);
}

// Ends a step that runs the component's code (a call, the manifest's check), begun with
// callState = CALL_RUNNING. A step that another thread abandoned meanwhile never comes back to the
// batch: its thread waits for the process to end (false where it does return).
static bool EndStep(const PlatformOps &ops)
{
    int running = CALL_RUNNING;
    if (callState.compare_exchange_strong(running, CALL_IDLE))
        return true;
    ops.waitForever();
    return false;
}

// /M: the recording of the component's registration becomes its side-by-side manifest, written
// whole, then checked by the system; the row tells what was written, and what the application's
// manifest needs. A failed check counts as the component's result.
static void AppendManifest(char *path, const char *recorded, const PlatformOps &ops)
{
    ManifestSubject subject = {};
    char fileName[PATH_BUFFER_SIZE * 3];
    ops.describeFile(currentFullPath, fileName, sizeof fileName, subject.version);
    subject.fileName = fileName;
    unsigned char bytes[IMAGE_HEADER_READ_SIZE];
    ImageHeader header;
    subject.machine = ReadImageHeader(bytes, ops.readFileStart(currentFullPath, bytes, sizeof bytes), &header)
                          ? header.machine
                          : 0;
    char folder[PATH_BUFFER_SIZE], target[PATH_BUFFER_SIZE];
    ManifestFolder(folder, ops);
    const char *name = FileNamePart(currentFullPath, ops.isLeadByte);
    RegText xml = {};
    ManifestSummary summary;
    uint32_t error = RESULT_OUT_OF_MEMORY;
    bool written = ComposeManifest(recorded, subject, &xml, &summary);
    if (written && !ManifestPath(folder, name, target, sizeof target))
    {
        error = RESULT_FILE_NAME_TOO_LONG;
        written = false;
    }
    written = written && ops.writeManifest(target, xml.data, xml.length, &error);
    FreeText(&xml);
    char text[LOAD_TEXT_SIZE];
    if (!written)
    {
        char reason[ENTRY_TEXT_SIZE];
        FormatSystemRowText(ops.systemText, error, nullptr, reason, sizeof reason);
        std::snprintf(text, sizeof text, "Nothing was registered, and the manifest for it could not be written: %s",
                      reason);
        AppendRow(path, text, static_cast<int32_t>(error), ROW_OWN_TEXT, true, static_cast<int32_t>(error));
        return;
    }
    ManifestCheck check;
    EntryPointCrash crash = {};
    char componentFolder[PATH_BUFFER_SIZE];
    FolderOf(currentFullPath, ops.isLeadByte, componentFolder);
    currentPath = path; // a type library's too, for the row of a check abandoned after /T
    callState = CALL_RUNNING;
    const bool beside = SameFolder(folder, componentFolder);
    const bool returned = ops.checkManifest(target, componentFolder, beside, summary, &check, &crash);
    EndStep(ops);
    if (!returned)
    {
        processPoisoned = true;
        ComposeCrashText(crash, text, sizeof text);
        const int32_t code = static_cast<int32_t>(crash.exceptionCode);
        AppendRow(path, text, code, ROW_OWN_TEXT, true, code);
        return;
    }
    if (check.result != 0)
        FormatSystemRowText(ops.systemText, static_cast<uint32_t>(check.result), nullptr, check.reason,
                            sizeof check.reason);
    check.loaded = beside;
    ComposeManifestText(target, summary, check, text, sizeof text);
    AppendRow(path, text, check.result, check.result == 0 ? ROW_DONE_TEXT : ROW_OWN_TEXT, true, check.result);
}

// Puts the registry back after the calls. After calls that succeeded, what they wrote counts, and
// the row says what became of it; else it is dropped, and the caller appends the row.
static void RestoreAfterCalls(char *path, bool succeeded, const PlatformOps &ops)
{
    const RedirectMode mode = CurrentRedirect();
    if (mode == REDIRECT_NONE)
    {
        if (succeeded)
            AppendSuccess(path);
        return;
    }
    RedirectOutcome outcome = {};
    ops.endRedirect(mode, succeeded, ReportedPath(path), &outcome);
    if (succeeded && manifestOption != nullptr)
        AppendManifest(path, outcome.recorded != nullptr ? outcome.recorded : "", ops);
    std::free(outcome.recorded);
    if (!succeeded || manifestOption != nullptr)
        return;
    char text[LOAD_TEXT_SIZE];
    ComposeRedirectedText(mode, unregisterMode ? "Unregistered" : "Registered", outcome, text, sizeof text);
    AppendRow(path, text, 0, ROW_BY_CODE, true, 0);
}

// A type library ("MSFT", or "SLTG" for the older format) is registered as such. It has no
// DllInstall: /I gets the row of a missing entry point, and nothing is registered.
static void RegisterTypeLibrary(const Component &component, const PlatformOps &ops)
{
    int32_t result = 0;
    if (installOption != nullptr)
    {
        AppendNoEntryPoint(component.path, "DllInstall");
        return;
    }
    if (!RedirectForCalls(component.path, ops))
        return;
    const bool registered = ops.registerTypeLibrary(component.fullPath, unregisterMode != 0, &result);
    RestoreAfterCalls(component.path, registered && result == 0, ops);
    if (!registered)
        AppendSystemFailure(component.path, RESULT_BAD_EXE_FORMAT, LOAD_TEXT_SIZE, ops);
    else if (result != 0)
        AppendSystemFailure(component.path, static_cast<uint32_t>(result), ENTRY_TEXT_SIZE, ops, ROW_CALLED, true,
                            result);
}

// The modes a child run must start in to go on as this run would.
static ChildModes CurrentModes()
{
    return ChildModes{unregisterMode != 0, installOption, noRegisterMode != 0, runSilent,
                      timeLimitOption,     recordOption, currentUserMode != 0, manifestOption};
}

// Takes the row that the twin reports for a component (one; any more are not the component's).
struct TwinRows
{
    char *path;
    int count;
};

static void TakeTwinRow(const ChildRow &row, void *context)
{
    TwinRows *rows = static_cast<TwinRows *>(context);
    if (rows->count++ == 0)
        AppendRow(rows->path, row.text, row.code, row.kind, row.called, row.result);
}

// The twin of the other bitness registers the component and reports its row. Without a twin, or
// for a machine neither program loads, the row says so.
static void HandOff(const Component &component, uint16_t machine, const PlatformOps &ops)
{
    TwinRows rows = {component.path, 0};
    ChildEnd end = {};
    if (TwinProgramName(machine) == nullptr ||
        !ops.runTwin(component.fullPath, CurrentModes(), TakeTwinRow, &rows, &end))
    {
        char text[LOAD_TEXT_SIZE];
        ComposeOtherMachineText(machine, text, sizeof text);
        AppendRow(component.path, text, RESULT_BAD_EXE_FORMAT, ROW_OWN_TEXT);
        return;
    }
    if (rows.count == 0)
        AppendChildEnded(component.path, end.exitCode);
}

// Loads the component. When the loader refuses it as an image it cannot load (193), its first bytes
// tell whether it is a type library, or a component of another machine, which goes to the twin.
// They are read only then, so the usual component costs no extra read.
static bool LoadComponent(Component &component, const PlatformOps &ops)
{
    char name[PATH_BUFFER_SIZE + 1];
    ExactModuleName(component.fullPath, ops.isLeadByte, name);
    component.module = ops.loadModule(name);
    if (component.module != nullptr)
        return true;
    const uint32_t error = ops.lastError();
    unsigned char bytes[IMAGE_HEADER_READ_SIZE];
    const size_t count =
        error == RESULT_BAD_EXE_FORMAT ? ops.readFileStart(component.fullPath, bytes, sizeof bytes) : 0;
    const uint16_t foreign = ForeignMachine(bytes, count, ops);
    if (IsTypeLibrary(bytes, count))
        RegisterTypeLibrary(component, ops);
    else if (foreign != 0)
        HandOff(component, foreign, ops);
    else
        AppendSystemFailure(component.path, error, LOAD_TEXT_SIZE, ops);
    return false;
}

// One call that the modes ask of a component.
struct Call
{
    const char *name;
    bool install; // DllInstall, else DllRegisterServer or DllUnregisterServer
    void *entryPoint;
};

// The calls, in order. Registering: DllRegisterServer, then DllInstall(TRUE) with /I.
// Unregistering undoes that in the reverse order: DllInstall(FALSE), then DllUnregisterServer. /N
// leaves out the (un)registration call.
static int PlanCalls(Call calls[2])
{
    const Call install = {"DllInstall", true, nullptr};
    const Call server = {RegisterCallName(), false, nullptr};
    int count = 0;
    if (unregisterMode && installOption != nullptr)
        calls[count++] = install;
    if (!noRegisterMode)
        calls[count++] = server;
    if (!unregisterMode && installOption != nullptr)
        calls[count++] = install;
    return count;
}

// A failing call's row. With /I two calls may run, so the row names the one that failed.
static void AppendCallFailure(char *path, const Call &call, int32_t result, const PlatformOps &ops)
{
    // An entry point that fails without setting the last-error value is recorded with its own
    // result, so that the failure can never read as code 0, success.
    const uint32_t lastError = ops.lastError();
    const uint32_t code = lastError != 0 ? lastError : static_cast<uint32_t>(result);
    if (installOption == nullptr)
    {
        AppendSystemFailure(path, code, ENTRY_TEXT_SIZE, ops, ROW_CALLED, true, result);
        return;
    }
    char system[ENTRY_TEXT_SIZE];
    char text[LOAD_TEXT_SIZE];
    FormatSystemRowText(ops.systemText, code, path, system, sizeof system);
    std::snprintf(text, sizeof text, "%s failed: %s", call.name, system);
    AppendRow(path, text, static_cast<int32_t>(code), ROW_OWN_TEXT, true, result);
}

// Makes one call. A call that another thread abandoned meanwhile never comes back to the batch:
// its thread waits for the process to end (false, with *abandoned set, where it does return).
static bool MakeCall(const Call &call, int32_t *result, EntryPointCrash *crash, bool *abandoned, const PlatformOps &ops)
{
    callState = CALL_RUNNING;
    const bool returned =
        call.install ? ops.callInstall(call.entryPoint, !unregisterMode, OptionValue(installOption), result, crash)
                     : ops.callEntryPoint(call.entryPoint, result, crash);
    *abandoned = !EndStep(ops);
    return returned;
}

// Finds every entry point the calls need, then makes the calls in order; a failing call stops
// the component. Appends the row and unloads the component, unless it crashed: a component whose
// state is unknown stays loaded.
static void CallEntryPoint(Component &component, const PlatformOps &ops)
{
    currentPath = component.path;
    Call calls[2];
    const int count = PlanCalls(calls);
    for (int i = 0; i < count; i++)
    {
        calls[i].entryPoint = ops.findEntryPoint(component.module, calls[i].name);
        if (calls[i].entryPoint == nullptr)
        {
            ops.freeModule(component.module);
            AppendNoEntryPoint(component.path, calls[i].name);
            return;
        }
    }
    if (!RedirectForCalls(component.path, ops))
    {
        ops.freeModule(component.module);
        return;
    }
    for (int i = 0; i < count; i++)
    {
        // Cleared first, so that a value left over from the load is never blamed on the entry point.
        ops.setLastError(0);
        int32_t result = 0;
        EntryPointCrash crash = {};
        bool abandoned = false;
        const bool returned = MakeCall(calls[i], &result, &crash, &abandoned, ops);
        if (abandoned)
            return;
        if (!returned)
        {
            processPoisoned = true;
            RestoreAfterCalls(component.path, false, ops);
            char text[LOAD_TEXT_SIZE];
            ComposeCrashText(crash, text, sizeof text);
            const int32_t code = static_cast<int32_t>(crash.exceptionCode);
            AppendRow(component.path, text, code, ROW_OWN_TEXT, true, code);
            return;
        }
        if (result != 0)
        {
            RestoreAfterCalls(component.path, false, ops);
            AppendCallFailure(component.path, calls[i], result, ops);
            ops.freeModule(component.module);
            return;
        }
    }
    RestoreAfterCalls(component.path, true, ops);
    ops.freeModule(component.module);
}

// Runs one component argument through the pipeline in the current modes (unregisterMode,
// installOption, noRegisterMode) and appends its row. A type library is registered as such.
static void RegisterComponent(const char *argument, const PlatformOps &ops)
{
    Component component = {};
    BeginComponent(component.fullPath);
    if (!PreparePath(component, argument, ops))
        return;
    if (noRegisterMode && installOption == nullptr)
    {
        AppendNothingAsked(component.path);
        return;
    }
    if ((recordOption != nullptr || manifestOption != nullptr) && unregisterMode)
    {
        AppendRow(component.path, manifestOption != nullptr ? MANIFEST_ONLY_REGISTERS_TEXT : RECORD_ONLY_REGISTERS_TEXT,
                  RESULT_INVALID_PARAMETER, ROW_OWN_TEXT);
        return;
    }
    if (!TestExistence(component, ops))
        return;
    EnterFolder(component, ops);
    if (!LoadComponent(component, ops))
        return;
    CallEntryPoint(component, ops);
}

// Appends the row of an argument whose name the ANSI code page cannot hold (argument: its
// lossy form); it is never loaded.
static void RegisterUnrepresentable(const char *argument, const PlatformOps &ops)
{
    Component component = {};
    BeginComponent(nullptr);
    if (RowForArgument(component, argument, ops.isLeadByte))
        AppendRow(component.path, UNREPRESENTABLE_TEXT, RESULT_INVALID_NAME, ROW_OWN_TEXT);
}

static bool IsComponentArgument(int i, char **argv, const bool *unrepresentable)
{
    return (unrepresentable != nullptr && unrepresentable[i]) || ClassifyArgument(argv[i]) == ARGUMENT_COMPONENT;
}

// The full path of a name as the run's start folder resolves it, for a component that this
// process never prepared; the name as it is when it is absolute, or there is no start folder.
static void FullPathFromStart(const char *path, char *out)
{
    if (!haveStartFolder || !DependsOnCurrentFolder(path))
        std::snprintf(out, PATH_BUFFER_SIZE, "%s", path);
    else if (path[0] == '\\' || path[0] == '/')
        std::snprintf(out, PATH_BUFFER_SIZE, "%.2s%s", startFolder, path);
    else
        std::snprintf(out, PATH_BUFFER_SIZE, "%s%s%s", startFolder,
                      startFolder[0] != '\0' && startFolder[std::strlen(startFolder) - 1] == '\\' ? "" : "\\",
                      path[0] == '.' && (path[1] == '\\' || path[1] == '/') ? path + 2 : path);
}

// /M, with its folder (if any) made a full path from the start folder: a child run or the twin,
// started elsewhere, writes into the same folder.
static void TakeManifestOption(const char *argument)
{
    const char *folder = OptionValue(argument);
    if (folder[0] == '\0')
        std::snprintf(manifestArgument, sizeof manifestArgument, "/M");
    else
    {
        char full[PATH_BUFFER_SIZE];
        FullPathFromStart(folder, full);
        std::snprintf(manifestArgument, sizeof manifestArgument, "/M:%s", full);
    }
    manifestOption = manifestArgument;
}

// Sets the run-wide flag an option names.
static void ApplyOption(const char *argument)
{
    switch (ClassifyArgument(argument))
    {
    case ARGUMENT_SILENT:
        silentMode = 1;
        break;
    case ARGUMENT_UNREGISTER:
        unregisterMode = 1;
        break;
    case ARGUMENT_INSTALL:
        installOption = argument;
        break;
    case ARGUMENT_NO_REGISTER:
        noRegisterMode = 1;
        break;
    case ARGUMENT_TIME_LIMIT:
        timeLimitOption = argument;
        break;
    case ARGUMENT_RECORD:
        recordOption = argument;
        break;
    case ARGUMENT_CURRENT_USER:
        currentUserMode = 1;
        break;
    case ARGUMENT_MANIFEST:
        TakeManifestOption(argument);
        break;
    case ARGUMENT_LOG: // opened before the batch: it counts for the whole run
    case ARGUMENT_IGNORED_OPTION:
    case ARGUMENT_COMPONENT:
        break;
    }
}

// Walks from argument i over options, applying them, and over count component arguments; the index
// of the first argument not passed.
static int PassArguments(int i, int count, int argc, char **argv, const bool *unrepresentable)
{
    for (; i < argc; i++)
    {
        if (!IsComponentArgument(i, argv, unrepresentable))
            ApplyOption(argv[i]);
        else if (count-- == 0)
            break;
    }
    return i;
}

// Takes each row that a child run of the rest of the batch reports.
static void TakeRestRow(const ChildRow &row, void *context)
{
    int *count = static_cast<int *>(context);
    (*count)++;
    Component component = {};
    if (RowForArgument(component, row.path, batchOps->isLeadByte))
        AddRow(component.path, row);
}

// After a crash, the arguments from next on run in fresh processes of this program, never in this
// one: each goes on until its batch is done or a component crashes in it. A process that ends
// without saying so ended in the component after its last row, which gets a row that says so.
static void RunRestInChildren(int next, int argc, char **argv, const bool *unrepresentable, const PlatformOps &ops)
{
    for (;;)
    {
        BeginComponent(nullptr);
        next = PassArguments(next, 0, argc, argv, unrepresentable);
        if (next >= argc)
            return;
        int rows = 0;
        ChildEnd end = {};
        if (!ops.runRest(next, CurrentModes(), haveStartFolder ? startFolder : nullptr, TakeRestRow, &rows, &end))
        {
            char reason[LOAD_TEXT_SIZE];
            char text[LOAD_TEXT_SIZE];
            FormatSystemText(ops.systemText, end.startError, nullptr, reason, sizeof reason);
            for (size_t length = std::strlen(reason);
                 length > 0 && static_cast<unsigned char>(reason[length - 1]) <= ' ';)
                reason[--length] = '\0';
            ComposeChildNotStartedText(reason, text, sizeof text);
            for (; next < argc; next++)
            {
                Component component = {};
                if (!IsComponentArgument(next, argv, unrepresentable))
                    ApplyOption(argv[next]);
                else if (RowForArgument(component, argv[next], ops.isLeadByte))
                    AppendRow(component.path, text, static_cast<int32_t>(end.startError), ROW_OWN_TEXT);
            }
            return;
        }
        next = PassArguments(next, rows, argc, argv, unrepresentable);
        // A process that stopped without a row would be started again for ever: its first
        // component is taken as the one it ended in.
        if ((end.reported && rows > 0) || next >= argc)
            continue;
        Component component = {};
        if (RowForArgument(component, argv[next], ops.isLeadByte))
        {
            FullPathFromStart(component.path, component.fullPath);
            BeginComponent(component.fullPath);
            AppendChildEnded(component.path, end.exitCode);
            currentFullPath = nullptr;
        }
        next++;
    }
}

bool AbandonCall(uint32_t limitSeconds)
{
    int running = CALL_RUNNING;
    if (!callState.compare_exchange_strong(running, CALL_ABANDONED))
        return false;
    processPoisoned = true;
    char text[LOAD_TEXT_SIZE];
    std::snprintf(text, sizeof text,
                  "The component did not return within %u seconds, the time limit that /T set, so TolVane abandoned "
                  "it; the rest of the batch went on in a fresh process.",
                  static_cast<unsigned>(limitSeconds));
    AppendRow(currentPath, text, RESULT_TIMEOUT, ROW_OWN_TEXT, true, RESULT_TIMEOUT);
    if (!childRun)
        RunRestInChildren(batchArguments.current + 1, batchArguments.argc, batchArguments.argv,
                          batchArguments.unrepresentable, *batchOps);
    return true;
}

bool PendingCall(ChildRow *row)
{
    if (callState != CALL_RUNNING || currentPath == nullptr)
        return false;
    row->path = currentPath;
    row->fullPath = ReportedPath(currentPath);
    row->call = CallWords();
    row->milliseconds = Elapsed();
    return true;
}

void RunBatch(int argc, char **argv, const PlatformOps &ops, const bool *unrepresentable)
{
    BeginBatch(ops);
    callState = CALL_IDLE;
    runSilent = ScanRunWideOptions(argc, argv, unrepresentable).silent;
    batchArguments = BatchArguments{argc, argv, unrepresentable, 0};
    for (int i = 1; i < argc; i++)
    {
        batchArguments.current = i;
        if (!IsComponentArgument(i, argv, unrepresentable))
        {
            ApplyOption(argv[i]);
            continue;
        }
        if (unrepresentable != nullptr && unrepresentable[i])
            RegisterUnrepresentable(argv[i], ops);
        else
            RegisterComponent(argv[i], ops);
        currentFullPath = nullptr;
        currentPath = nullptr;
        // After an abandoned call, the thread that abandoned it has run the rest already.
        if (processPoisoned)
        {
            if (!childRun && callState != CALL_ABANDONED)
                RunRestInChildren(i + 1, argc, argv, unrepresentable, ops);
            return;
        }
    }
}

int32_t BatchExitValue()
{
    if (entryPointCalled)
        return exitValue;
    if (resultsTable.rowCount > 0)
        return resultsTable.rows[resultsTable.rowCount - 1].resultCode;
    return 0;
}
