#include "app/child/child_run_win.h"

#include <windows.h>
#include <tlhelp32.h>
#include <cstdlib>

#include "app/arguments.h"
#include "base/system_win.h"

static HANDLE rowPipe; // this run's rows go here: it is a child run
static const AnsiArguments *restArguments;
// This program's own path, taken before any component runs: a component that holds the loader's
// lock for ever must not keep the rest of the batch from starting.
static wchar_t self[MAX_PATH];
static DWORD selfLength;
static ChildTextSink textSink;

// The name of the object that proves a child run's token: the first process creates it before the
// child starts and holds it until the child ends.
static void TokenName(uint64_t token, wchar_t *name)
{
    wsprintfW(name, L"Local\\TolVane.rows.%08x%08x", static_cast<unsigned>(token >> 32), static_cast<unsigned>(token));
}

// Ends this process when the process that started it ends. The first process puts its children in
// a job that does so too; this also holds where jobs do not (under Wine, or in a job of its own).
struct ParentWatch
{
    HANDLE parent;
    HANDLE started;
};

static DWORD WINAPI EndWithParent(LPVOID context)
{
    const ParentWatch watch = *static_cast<ParentWatch *>(context);
    SetEvent(watch.started);
    WaitForSingleObject(watch.parent, INFINITE);
    TerminateProcess(GetCurrentProcess(), ERROR_PROCESS_ABORTED);
    return 0;
}

static void WatchParent()
{
    const DWORD own = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD parentId = 0;
    for (BOOL more = snapshot != INVALID_HANDLE_VALUE && Process32FirstW(snapshot, &entry); more && parentId == 0;
         more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == own)
            parentId = entry.th32ParentProcessID;
    if (snapshot != INVALID_HANDLE_VALUE)
        CloseHandle(snapshot);
    ParentWatch watch = {parentId != 0 ? OpenProcess(SYNCHRONIZE, FALSE, parentId) : nullptr,
                         CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = watch.parent != nullptr && watch.started != nullptr
                        ? CreateThread(nullptr, 16 * 1024, EndWithParent, &watch, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                       nullptr)
                        : nullptr;
    // The batch starts once the thread runs: a new thread takes the loader's lock to start, and the
    // first component may hold it for ever.
    if (thread != nullptr)
    {
        WaitForSingleObject(watch.started, INFINITE);
        CloseHandle(thread);
    }
    if (watch.started != nullptr)
        CloseHandle(watch.started);
}

bool TakeChildArgument(AnsiArguments *arguments, bool *twin)
{
    uint32_t value = 0;
    uint64_t token = 0;
    if (arguments->count < 2 || arguments->unrepresentable[1] ||
        !ParseChildArgument(arguments->values[1], &value, &token, twin))
        return false;
    // Only a process that TolVane started holds its token's object.
    wchar_t name[64];
    TokenName(token, name);
    HANDLE proof = OpenEventW(SYNCHRONIZE, FALSE, name);
    if (proof == nullptr)
        return false;
    CloseHandle(proof);
    // Handles travel between 32-bit and 64-bit processes as 32-bit values.
    HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    if (GetFileType(pipe) != FILE_TYPE_PIPE)
        return false;
    // Not for the component's own child processes: a process that kept it would keep the pipe open.
    SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
    rowPipe = pipe;
    WatchParent();
    // The program's name takes the private argument's place.
    arguments->values[1] = arguments->values[0];
    arguments->wide[1] = arguments->wide[0];
    arguments->unrepresentable[1] = arguments->unrepresentable[0];
    arguments->values++;
    arguments->wide++;
    arguments->unrepresentable++;
    arguments->count--;
    return true;
}

// One record, in one write: a pipe never splits a write of this size between readers' reads in a
// way that mixes it with another's.
static void Send(const unsigned char *record, size_t length)
{
    DWORD written = 0;
    if (rowPipe != nullptr && length > 0)
        WriteFile(rowPipe, record, static_cast<DWORD>(length), &written, nullptr);
}

void ReportChildRow(const RowReport &row)
{
    if (rowPipe == nullptr)
        return;
    unsigned char record[CHILD_RECORD_MAX];
    Send(record, EncodeRowRecord(row, WinIsLeadByte, record, sizeof record));
}

void ReportChildText(const char *text, size_t length)
{
    unsigned char record[CHILD_TEXT_CHUNK + 8];
    for (size_t at = 0; at < length; at += CHILD_TEXT_CHUNK)
    {
        const size_t piece = length - at < CHILD_TEXT_CHUNK ? length - at : CHILD_TEXT_CHUNK;
        Send(record, EncodeTextRecord(text + at, piece, record, sizeof record));
    }
}

void SetChildTextSink(ChildTextSink sink)
{
    textSink = sink;
}

void ReportChildStep(uint32_t limitSeconds)
{
    unsigned char record[8];
    Send(record, EncodeStepRecord(limitSeconds, record, sizeof record));
}

void ReportChildEnd()
{
    unsigned char record[8];
    Send(record, EncodeEndRecord(record, sizeof record));
}

// The records read so far, and the rows of those that are complete, handed on.
struct RowReader
{
    unsigned char buffer[2 * CHILD_RECORD_MAX];
    size_t count;
    ChildRowText strings; // the strings of the row being handed on
    bool bad;             // the pipe carried something that is not a record: nothing more is read
    ChildRowSink sink;
    void *context;
    ChildEnd *end;
    DWORD stepStart;    // when the step of a component's code that runs now began
    uint32_t stepLimit; // its time limit in seconds; 0: none, or no step runs
};

static void TakeRecords(RowReader *reader)
{
    size_t at = 0;
    if (reader->bad)
        reader->count = 0;
    while (!reader->bad)
    {
        RowReport row;
        size_t used = 0;
        const ChildRecord record =
            DecodeChildRecord(reader->buffer + at, reader->count - at, &used, &row, &reader->strings);
        if (record == CHILD_RECORD_INCOMPLETE)
            break;
        if (record == CHILD_RECORD_BAD)
        {
            reader->bad = true;
            reader->count = 0; // what follows is read and dropped, so that the child never blocks
            return;
        }
        else if (record == CHILD_RECORD_END)
            reader->end->reported = true;
        else if (record == CHILD_RECORD_STEP)
        {
            reader->stepStart = GetTickCount();
            reader->stepLimit = reader->strings.stepLimit;
        }
        else if (record == CHILD_RECORD_TEXT)
        {
            if (textSink != nullptr)
                textSink(reader->strings.piece, reader->strings.pieceLength);
        }
        else
        {
            reader->stepLimit = 0; // the component's row: its steps are over
            reader->sink(row, reader->context);
        }
        at += used;
    }
    MoveMemory(reader->buffer, reader->buffer + at, reader->count - at);
    reader->count -= at;
}

// Reads what the pipe holds now; false when it is broken or holds nothing.
static bool ReadAvailable(HANDLE pipe, RowReader *reader)
{
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0)
        return false;
    DWORD room = static_cast<DWORD>(sizeof reader->buffer - reader->count);
    DWORD read = 0;
    if (!ReadFile(pipe, reader->buffer + reader->count, available < room ? available : room, &read, nullptr) ||
        read == 0)
        return false;
    reader->count += read;
    TakeRecords(reader);
    return true;
}

// Reads the child's rows while it runs. Its end is what ends the reading, not the pipe's: a
// process that the component started may hold the pipe open long after.
static void ReadRowsUntilEnd(HANDLE process, HANDLE pipe, RowReader *reader)
{
    for (;;)
    {
        while (ReadAvailable(pipe, reader))
            ;
        // After something that is not a record nothing the child says can be trusted: it is ended.
        if (reader->bad && !reader->end->garbled)
        {
            reader->end->garbled = true;
            TerminateProcess(process, ERROR_INVALID_DATA);
        }
        // A step past its limit and the grace: whatever holds the child (a lock that its own
        // watchdog needs), it is ended, and the component gets the abandon's row.
        if (reader->stepLimit != 0 && !reader->end->timedOut &&
            GetTickCount() - reader->stepStart > reader->stepLimit * 1000u + CHILD_GRACE_MS)
        {
            reader->end->timedOut = true;
            reader->end->timeLimit = reader->stepLimit;
            TerminateProcess(process, ERROR_TIMEOUT);
        }
        if (WaitForSingleObject(process, 5) == WAIT_OBJECT_0)
            break;
    }
    while (ReadAvailable(pipe, reader))
        ;
}

// The options for a child run as wide text in options (OPTION_LIST_MAX entries, each to be
// freed); false when memory ran out.
static bool WideOptions(const OptionList &list, wchar_t *options[OPTION_LIST_MAX])
{
    bool complete = true;
    for (size_t i = 0; i < list.count; i++)
    {
        options[i] = WinWide(list.values[i]);
        complete = complete && options[i] != nullptr;
    }
    return complete;
}

// The job every child runs in: when this process ends, however it ends (a CI step's time-out, Task
// Manager), the system ends its children, which would otherwise go on registering unlogged.
static HANDLE ChildJob()
{
    static HANDLE job;
    if (job == nullptr && (job = CreateJobObjectW(nullptr, nullptr)) != nullptr)
    {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return job;
}

// Starts the child with its pipe, reads its rows and waits for its end.
static bool StartAndRead(const wchar_t *program, bool twin, const wchar_t *const *options, size_t optionCount,
                         const wchar_t *const *arguments, size_t count, const char *folder, ChildRowSink sink,
                         void *context, ChildEnd *end)
{
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0))
    {
        end->startError = GetLastError();
        return false;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    // A token no typed argument can name by chance: the time, this process and a count.
    static LONG children;
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    const uint64_t token = static_cast<uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15ull ^
                           static_cast<uint64_t>(GetCurrentProcessId()) << 32 ^
                           static_cast<uint64_t>(InterlockedIncrement(&children));
    wchar_t proofName[64];
    TokenName(token, proofName);
    HANDLE proof = CreateEventW(nullptr, TRUE, FALSE, proofName);
    char childArgument[48];
    FormatChildArgument(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(writeEnd)), token, twin, childArgument,
                        sizeof childArgument);
    const size_t length =
        BuildChildCommandLine(program, childArgument, options, optionCount, arguments, count, nullptr, 0);
    wchar_t *commandLine =
        length < 32767 ? static_cast<wchar_t *>(std::malloc((length + 1) * sizeof(wchar_t))) : nullptr;
    BOOL started = FALSE;
    PROCESS_INFORMATION process = {};
    end->startError = length < 32767 ? ERROR_NOT_ENOUGH_MEMORY : ERROR_FILENAME_EXCED_RANGE;
    if (commandLine != nullptr)
    {
        BuildChildCommandLine(program, childArgument, options, optionCount, arguments, count, commandLine, length + 1);
        wchar_t wideFolder[MAX_PATH];
        const bool haveFolder =
            folder != nullptr && MultiByteToWideChar(CP_ACP, 0, folder, -1, wideFolder, MAX_PATH) > 0;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        // Suspended until it is in the job, so that not one of its instructions runs outside it.
        started = CreateProcessW(program, commandLine, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                 haveFolder ? wideFolder : nullptr, &startup, &process);
        if (!started)
            end->startError = GetLastError();
        else
        {
            AssignProcessToJobObject(ChildJob(), process.hProcess);
            ResumeThread(process.hThread);
        }
        std::free(commandLine);
    }
    // The child holds its own copy now; with this one closed, only the child can write.
    CloseHandle(writeEnd);
    if (!started)
    {
        CloseHandle(readEnd);
        if (proof != nullptr)
            CloseHandle(proof);
        return false;
    }
    CloseHandle(process.hThread);
    RowReader *reader = static_cast<RowReader *>(std::calloc(1, sizeof(RowReader)));
    if (reader != nullptr)
    {
        reader->sink = sink;
        reader->context = context;
        reader->end = end;
        ReadRowsUntilEnd(process.hProcess, readEnd, reader);
        std::free(reader);
    }
    else
    {
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    end->exitCode = code;
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    if (proof != nullptr)
        CloseHandle(proof);
    return true;
}

bool RunChildProcess(const wchar_t *program, bool twin, const OptionList &list, const wchar_t *const *arguments,
                     size_t count, const char *folder, ChildRowSink sink, void *context, ChildEnd *end)
{
    wchar_t *options[OPTION_LIST_MAX] = {};
    const bool haveOptions = WideOptions(list, options);
    const bool started =
        haveOptions && StartAndRead(program, twin, options, list.count, arguments, count, folder, sink, context, end);
    if (!haveOptions)
        end->startError = ERROR_NOT_ENOUGH_MEMORY;
    for (wchar_t *option : options)
        std::free(option);
    return started;
}

void SetRestArguments(const AnsiArguments *arguments)
{
    restArguments = arguments;
    selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH);
}

bool RunRest(int first, const OptionList &options, const char *folder, ChildRowSink sink, void *context, ChildEnd *end)
{
    const DWORD length = selfLength;
    if (length == 0 || length >= MAX_PATH || restArguments == nullptr || first >= restArguments->count)
    {
        end->startError = length >= MAX_PATH ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_PARAMETER;
        return false;
    }
    return RunChildProcess(self, false, options, restArguments->wide + first,
                           static_cast<size_t>(restArguments->count - first), folder, sink, context, end);
}
