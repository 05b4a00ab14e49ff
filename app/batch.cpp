#include "app/batch.h"

#include <cstdlib>
#include <cstring>

#include "app/rest/rest_run.h"
#include "app/twin/twin.h"
#include "app/expand/expand.h"
#include "app/guard/call_state.h"
#include "app/watchdog/watchdog.h"
#include "app/options.h"

// The run: its arguments, the modes in force, its start folder, the component whose step runs.
static RestArguments run;
static Modes modes;
static char startFolder[PATH_BUFFER_SIZE];
static char *volatile stepPath; // the row of the component whose code runs now, for the watchdog

struct Component // one component on its way through the pipeline
{
    char *path; // the row's componentPath: the argument as given, short names expanded
    char fullPath[PATH_BUFFER_SIZE];
    void *module;   // null: not loaded (a type library)
    bool abandoned; // its load was abandoned past the time limit: the abandon gave its row
};

// One call that the modes ask of a component.
struct Call
{
    const char *name;
    bool install; // DllInstall, else DllRegisterServer or DllUnregisterServer
    void *entryPoint;
};

// What the calls (or a type library's registration) came to.
struct CallOutcome
{
    bool succeeded;
    bool abandoned; // the watchdog abandoned the step: the run is its thread's now
    bool crashed;
    EntryPointCrash crash;
    const char *failedCall; // the call that failed or crashed
    int32_t result;
    uint32_t lastError; // taken as the call returned, before anything else could change it
    bool noRegistrar;   // a type library, and the system has no means to register it
};

static uint32_t TimeLimit()
{
    return run.silent ? TimeLimitSeconds(modes.timeLimit) : 0;
}

// Copies the argument into a new row, expands its short names and makes its full path.
static bool PreparePath(Component *c, const char *argument, const SystemOps &ops)
{
    // A name that cannot fit the path buffer is never loaded: its row keeps what fits.
    const bool tooLong = std::strlen(argument) > PATH_BUFFER_SIZE - 1;
    c->path = RowForArgument(argument);
    if (c->path == nullptr || tooLong)
    {
        if (c->path != nullptr)
            AppendSystemFailure(c->path, RESULT_FILE_NAME_TOO_LONG);
        return false;
    }
    // Relative names are taken from the folder the run started in, whoever moved the current folder
    // since (an earlier component's folder, or a component itself): for the expansion of short
    // names as much as for the load.
    char current[PATH_BUFFER_SIZE];
    if (run.startFolder != nullptr && DependsOnCurrentFolder(c->path) &&
        (!ops.currentFolder(current, sizeof current) || std::strcmp(current, startFolder) != 0))
        ops.changeFolder(startFolder);
    ExpandLongPath(c->path, ops.findEntryName, nullptr);
    // The component is tested and loaded by its full path, so the module search order can never
    // pick another file of the same name. A blank name names nothing, and is not found.
    if (IsBlankPath(c->path) || ops.fullPath(c->path, c->fullPath, sizeof c->fullPath))
        return true;
    const uint32_t error = ops.lastError();
    AppendSystemFailure(c->path, error != 0 ? error : RESULT_FILE_NAME_TOO_LONG);
    return false;
}

// /N without /I asks for no call; nor does unregistering under /R or /M, which describe what
// registering writes. Nothing is loaded then.
static bool ModesAskForCalls(const Component &c)
{
    if (modes.noRegister && modes.install == nullptr)
        AppendNothingAsked(c.path, RegisterCallName(modes, unregisterMode != 0));
    else if ((modes.record != nullptr || modes.manifest[0] != '\0') && CallsUnregister(modes, unregisterMode != 0))
        AppendRow(c.path, modes.manifest[0] != '\0' ? MANIFEST_ONLY_REGISTERS_TEXT : RECORD_ONLY_REGISTERS_TEXT,
                  RESULT_INVALID_PARAMETER, ROW_OWN_TEXT);
    else
        return true;
    return false;
}

// A path that names nothing, a folder or a device (CON, NUL, COM1...) is not found; a device is
// never opened. A file that exists goes on to the load, even if it cannot be read: its error says why.
static bool TestExistence(const Component &c, const SystemOps &ops)
{
    if (!IsDeviceName(c.fullPath, ops.isLeadByte) && ops.fileExists(c.fullPath))
        return true;
    AppendNotFound(c.path);
    return false;
}

// The entry point runs in its component's folder, for the DLLs it loads at run time. The folder is
// changed only when it is not already the current one; asked anew each time, as a component may
// have changed it.
static void EnterFolder(const Component &c, const SystemOps &ops)
{
    char folder[PATH_BUFFER_SIZE];
    FolderOf(c.fullPath, ops.isLeadByte, folder);
    char current[PATH_BUFFER_SIZE];
    if (folder[0] != '\0' && !(ops.currentFolder(current, sizeof current) && SameFolder(current, folder)))
        ops.changeFolder(folder);
}

// Loads the component by its exact name, which runs its DllMain (watched); false with the error.
static bool LoadComponent(Component *c, const SystemOps &ops, uint32_t *error)
{
    char name[PATH_BUFFER_SIZE + 1];
    ExactModuleName(c->fullPath, ops.isLeadByte, name);
    stepPath = c->path;
    c->abandoned = !WatchedStep(ops, TimeLimit(), [&] {
        c->module = ops.loadModule(name);
        *error = c->module == nullptr ? ops.lastError() : 0;
    });
    return c->module != nullptr && !c->abandoned;
}

static void Unload(const Component &c, const SystemOps &ops) // its DllMain again; its row is there
{
    stepPath = nullptr;
    WatchedStep(ops, TimeLimit(), [&] { ops.freeModule(c.module); });
}

// The calls, in order. Registering: DllRegisterServer, then DllInstall(TRUE) with /I.
// Unregistering undoes that in the reverse order: DllInstall(FALSE), then DllUnregisterServer. /N
// leaves out the (un)registration call.
static int PlanCalls(Call calls[2])
{
    const char *names[2];
    const int count = CalledEntryPoints(modes, unregisterMode != 0, names);
    for (int i = 0; i < count; i++)
        calls[i] = Call{names[i], std::strcmp(names[i], "DllInstall") == 0, nullptr};
    return count;
}

// Every entry point the calls need; else the component is unloaded and the row names the first
// that is missing.
static bool FindEntryPoints(const Component &c, Call *calls, int count, const SystemOps &ops)
{
    for (int i = 0; i < count; i++)
        if ((calls[i].entryPoint = ops.findEntryPoint(c.module, calls[i].name)) == nullptr)
        {
            Unload(c, ops);
            AppendNoEntryPoint(c.path, calls[i].name);
            return false;
        }
    return true;
}

// Makes the calls in order, each watched and guarded; a failing call stops the component.
static CallOutcome MakeCalls(const Call *calls, int count, const SystemOps &ops)
{
    CallOutcome outcome = {};
    for (int i = 0; i < count; i++)
    {
        // Cleared first, so that a value left over from the load is never blamed on the entry point.
        ops.setLastError(0);
        bool returned = false;
        outcome.abandoned = !WatchedStep(ops, TimeLimit(), [&] {
            returned = calls[i].install ? ops.callInstall(calls[i].entryPoint, !CallsUnregister(modes, unregisterMode != 0),
                                                          OptionValue(modes.install), &outcome.result, &outcome.crash)
                                        : ops.callEntryPoint(calls[i].entryPoint, &outcome.result, &outcome.crash);
            outcome.lastError = ops.lastError();
        });
        if (outcome.abandoned)
            return outcome;
        outcome.crashed = !returned;
        outcome.failedCall = calls[i].name;
        if (!returned || outcome.result != 0)
            return outcome;
    }
    outcome.succeeded = true;
    return outcome;
}

// A type library is registered through OLE Automation, watched as a call is.
static CallOutcome RegisterTypeLibrary(const Component &c, const PlatformOps &ops)
{
    CallOutcome outcome = {};
    outcome.abandoned = !WatchedStep(ops.system, TimeLimit(), [&] {
        outcome.noRegistrar = !ops.typeLibrary.registerTypeLibrary(c.fullPath, CallsUnregister(modes, unregisterMode != 0),
                                                                   &outcome.result, &outcome.crash);
    });
    outcome.crashed = outcome.crash.exceptionCode != 0;
    outcome.succeeded = !outcome.abandoned && !outcome.noRegistrar && !outcome.crashed && outcome.result == 0;
    return outcome;
}

// The one place that chooses the row of a component whose code ran: a crash, a failure, or what
// the success came to (a manifest, a recording, a per-user registration, or plain success).
static void AppendCallRow(const Component &c, const CallOutcome &outcome, RedirectMode mode,
                          const RedirectOutcome &recorded, const PlatformOps &ops)
{
    char text[ROW_TEXT_SIZE];
    const char *recording = recorded.recorded != nullptr ? recorded.recorded : "";
    if (outcome.crashed)
        AppendCrash(c.path, outcome.crash);
    else if (outcome.noRegistrar)
        AppendSystemFailure(c.path, RESULT_BAD_EXE_FORMAT);
    else if (!outcome.succeeded)
        AppendCallFailure(c.path, modes.install != nullptr ? outcome.failedCall : nullptr, outcome.result,
                          outcome.lastError);
    else if (modes.verify) // before /R and /M: nothing is written
        AppendVerifyRow(c.path, c.fullPath, recording, unregisterMode != 0, modes.currentUser, TimeLimit(), ops.system,
                        ops.verify);
    else if (modes.manifest[0] != '\0')
        AppendManifestRow(c.path, c.fullPath, modes.manifest, recording, TimeLimit(), ops.system, ops.manifest);
    else if (mode == REDIRECT_NONE)
        AppendRow(c.path, unregisterMode ? "Unregistered successfully" : "Registered successfully", 0, ROW_BY_CODE,
                  true);
    else
    {
        ComposeRedirectedText(mode, unregisterMode ? "Unregistered" : "Registered", recorded, text, sizeof text);
        AppendRow(c.path, text, 0, ROW_BY_CODE, true, 0);
    }
}

// Runs the component's code with the registry redirected as the modes ask: its calls, or, with no
// module, its type library's registration; appends its row. False when the component is to stay
// loaded: it crashed, or its step was abandoned.
static bool Register(const Component &c, const Call *calls, int count, const PlatformOps &ops)
{
    const RedirectMode mode =
        RedirectFor(modes.record != nullptr || modes.manifest[0] != '\0' || modes.verify, modes.currentUser);
    uint32_t error = 0;
    if (mode != REDIRECT_NONE && !ops.registry.begin(mode, &error))
    {
        AppendSystemFailure(c.path, error);
        return true;
    }
    stepPath = c.path;
    const CallOutcome outcome = c.module != nullptr ? MakeCalls(calls, count, ops.system) : RegisterTypeLibrary(c, ops);
    if (outcome.abandoned)
        return false;
    RedirectOutcome recorded = {};
    if (mode != REDIRECT_NONE)
        ops.registry.end(mode, outcome.succeeded, c.fullPath, &recorded);
    if (outcome.succeeded && modes.record != nullptr && !modes.verify && recorded.keys > 0 && recorded.recorded != nullptr)
        ops.registry.keepRecording(recorded.recorded, std::strlen(recorded.recorded));
    AppendCallRow(c, outcome, mode, recorded, ops);
    std::free(recorded.recorded);
    return !outcome.crashed;
}

// Runs one component argument through the pipeline in the current modes and appends its row.
static void RegisterComponent(const char *argument, const PlatformOps &ops)
{
    Component c = {};
    BeginComponent(c.fullPath, CallWords(modes, unregisterMode != 0));
    if (!PreparePath(&c, argument, ops.system) || !ModesAskForCalls(c) || !TestExistence(c, ops.system))
        return;
    EnterFolder(c, ops.system);
    uint32_t error = 0;
    Call calls[2];
    const int count = PlanCalls(calls);
    const bool loaded = LoadComponent(&c, ops.system, &error);
    if (c.abandoned)
        return;
    if (loaded)
    {
        if (FindEntryPoints(c, calls, count, ops.system) && Register(c, calls, count, ops))
            Unload(c, ops.system);
    }
    else if (IsTypeLibraryFile(c.fullPath, error, ops.system))
    {
        if (modes.install != nullptr) // a type library has no DllInstall
            AppendNoEntryPoint(c.path, "DllInstall");
        else
            Register(c, nullptr, 0, ops);
    }
    else if (!HandToTwin(c.path, c.fullPath, error, ModesAsOptions(modes, unregisterMode != 0, run.silent),
                         ops.system, ops.child))
        AppendSystemFailure(c.path, error);
}

bool AbandonCall(uint32_t limitSeconds)
{
    if (!TakeAbandon())
        return false;
    char text[ROW_TEXT_SIZE];
    ComposeAbandonText(limitSeconds, text, sizeof text);
    if (stepPath != nullptr) // an unload's component has its row already
        AppendRow(stepPath, text, RESULT_TIMEOUT, ROW_OWN_TEXT, true, RESULT_TIMEOUT);
    return true;
}

bool PendingCall(RowReport *row)
{
    char *path = stepPath;
    if (!StepRunning() || path == nullptr)
        return false;
    CurrentReport(path, row);
    return true;
}

void RunBatch(int argc, char **argv, const bool *unrepresentable, const RunWideOptions &runWide,
              const PlatformOps &ops)
{
    UseDiagnosis(ops.diagnose, ops.system.programMachine);
    BeginRows(ops.system, ops.diagnose.readFile != nullptr ? ExplainRow : nullptr);
    ResetCallState();
    ForgetManifests();
    modes = Modes{};
    const bool haveStart = ops.system.currentFolder(startFolder, sizeof startFolder);
    run = RestArguments{argc, argv, unrepresentable, haveStart ? startFolder : nullptr, &modes, runWide.silent,
                        AppendExpansionRow};
    // Under /T a silent run's first process runs no component code: it supervises fresh processes
    // and ends one that a component keeps past its limit, whatever locks it holds.
    const bool supervise = runWide.silent && runWide.timeLimit && !childRun;
    int i = supervise ? argc : 1;
    for (; i < argc && !ProcessPoisoned(); i++)
    {
        const ArgumentKind kind = ClassifyArgument(argv[i]);
        if (unrepresentable != nullptr && unrepresentable[i])
            AppendUnrepresentable(argv[i], CallWords(modes, unregisterMode != 0));
        else if (kind == ARGUMENT_EXPANSION_ROW)
            AppendExpansionRow(argv[i], modes, unregisterMode != 0);
        else if (kind != ARGUMENT_COMPONENT)
            ApplyOption(argv[i], run.startFolder, &modes);
        else
            RegisterComponent(argv[i], ops);
        EndComponent();
        stepPath = nullptr;
    }
    // So does the rest after a crash.
    if (supervise || (ProcessPoisoned() && !childRun))
        RunRestInChildren(supervise ? 1 : i, run, ops.system, ops.child);
}
