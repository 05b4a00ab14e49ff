#pragma once
// Runs of another TolVane process: the rest of a batch after a component crashed, and the twin of
// the other bitness. The child is started with a private first argument that names the write end
// of a pipe it inherits, and reports through it each row as a record as soon as the row exists,
// then an end record when it stops of its own accord. The first process shows every row. Window-
// free: the records, the private argument and the child's command line.
#include <cstddef>
#include <cstdint>

#include "app/options.h"
#include "app/paths/path_parts.h"
#include "base/run_state.h"

constexpr size_t CHILD_TEXT_SIZE = ROW_TEXT_SIZE; // a row text, terminator included, as a record carries it
constexpr size_t CHILD_CALL_SIZE = 32;            // the calls made for a row ("register", "DllInstall+unregister")

// Hands on each row that a child reports.
typedef void (*ChildRowSink)(const RowReport &row, void *context);

// How a child run ended.
struct ChildEnd
{
    bool reported;       // it sent its end record: it stopped of its own accord
    uint32_t exitCode;   // its exit code
    uint32_t startError; // the system's error when it could not be started
    bool garbled;        // it sent something that is not a record, and was ended for it
    bool timedOut;       // a step of a component's code ran past its limit and the grace: it was ended
    uint32_t timeLimit;  // that step's limit, in seconds
};

// How long after a step's time limit the process that started a child ends it: the child's own
// watchdog abandons the step at the limit, unless a lock that the component holds stops it.
constexpr uint32_t CHILD_GRACE_MS = 2000;

// Records: a kind byte ('R' row, 'E' end), the body's length (16 bits), the body. A row's body is
// code (32 bits), kind, called, result (32 bits), milliseconds (32 bits), then the path, the full
// path, the call and the text, each with a 16-bit length. Integers are little-endian.
constexpr size_t CHILD_RECORD_MAX =
    3 + 4 + 1 + 1 + 4 + 4 + 2 * (2 + PATH_BUFFER_SIZE - 1) + (2 + CHILD_CALL_SIZE - 1) + (2 + CHILD_TEXT_SIZE - 1);

// The record of row into out (size bytes); its length, 0 when it does not fit. A path or text too
// long for the reader is cut on a whole character.
size_t EncodeRowRecord(const RowReport &row, LeadByteTest isLeadByte, unsigned char *out, size_t size);
size_t EncodeEndRecord(unsigned char *out, size_t size);
// A piece of text for the first process's recording ('K'): at most CHILD_TEXT_CHUNK bytes of it.
constexpr size_t CHILD_TEXT_CHUNK = 1200; // less than a row record, for the reader's buffer
size_t EncodeTextRecord(const char *text, size_t length, unsigned char *out, size_t size);
// A step of a component's code begins ('S'), with its time limit in seconds (0: none): the process
// that started this one ends it when the step runs past the limit and a grace.
size_t EncodeStepRecord(uint32_t limitSeconds, unsigned char *out, size_t size);

enum ChildRecord
{
    CHILD_RECORD_INCOMPLETE, // more bytes are needed
    CHILD_RECORD_ROW,
    CHILD_RECORD_END,
    CHILD_RECORD_TEXT, // strings->piece and strings->pieceLength give the piece of text
    CHILD_RECORD_STEP, // strings->stepLimit gives the step's time limit
    CHILD_RECORD_BAD,  // not a record: nothing after it can be trusted
};

// Where a decoded row's strings go.
struct ChildRowText
{
    char path[PATH_BUFFER_SIZE];
    char fullPath[PATH_BUFFER_SIZE];
    char call[CHILD_CALL_SIZE];
    char text[CHILD_TEXT_SIZE];
    const char *piece; // a text record's piece of text, in the record itself (pieceLength bytes)
    size_t pieceLength;
    uint32_t stepLimit; // a step record's time limit in seconds
};

// Reads the record at the start of bytes (count of them); *used gets its length. A row's strings
// are copied into strings, which row then points into.
ChildRecord DecodeChildRecord(const unsigned char *bytes, size_t count, size_t *used, RowReport *row,
                              ChildRowText *strings);

// The private first argument of a child run: "/*rows:" and 24 hexadecimal digits, the pipe
// handle's 8 and a token's 16, with ":twin" added for a twin, which never hands a component on
// again. A file name cannot hold '*', and no option has it for its letter. The token names an
// object that the process which started the child holds (app/child/child_run_win): a run whose
// token names none was not started by TolVane, whatever its command line says, and runs as any run.
void FormatChildArgument(uint32_t pipe, uint64_t token, bool twin, char *out, size_t size);
// True for such an argument, with its parts.
bool ParseChildArgument(const char *argument, uint32_t *pipe, uint64_t *token, bool *twin);

// The row of a component whose child process ended before it reported the component's outcome.
void ComposeChildEndedText(uint32_t exitCode, char *text, size_t size);
// The row of the component after the last row of a child that sent something that is not a record.
void ComposeChildGarbledText(char *text, size_t size);
// The row of a component for which no child process could be started.
void ComposeChildNotStartedText(const char *reason, char *text, size_t size);

struct ChildOps
{
    // Runs the twin of the other bitness on a component's full path with these options, and waits
    // for it; each row it reports goes to sink. False when there is no twin to run (missing, not a
    // program, this very program, or it fails to start), and always in a run that is a twin's.
    bool (*runTwin)(const char *fullPath, const OptionList &options, ChildRowSink sink, void *context, ChildEnd *end);
    // Runs the arguments from index first on (of those RunBatch was given) in a fresh process of
    // this program, started in folder, with these options, and waits for it; each row it reports
    // goes to sink. False with end->startError when it cannot be started.
    bool (*runRest)(int first, const OptionList &options, const char *folder, ChildRowSink sink, void *context,
                    ChildEnd *end);
};
