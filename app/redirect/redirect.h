#pragma once
// The registry, redirected around a component's calls: recorded into a .reg file and changing
// nothing (/R:file), or registered for the current user (/C). Window-free: the modes, what the
// Win32 side reports of a redirected registration, and the words of the row.
#include <cstddef>
#include <cstdint>

enum RedirectMode
{
    REDIRECT_NONE,
    REDIRECT_RECORD,       // /R: every root goes to a scratch key; what was written goes to the file
    REDIRECT_CURRENT_USER, // /C: the classes go to the user's; the rest of the machine part is not applied
};

constexpr size_t NOT_WRITTEN_SIZE = 768;

struct RedirectOutcome
{
    int keys;                           // keys recorded, or moved to the user's classes
    int notWritten;                     // /C: machine-wide keys outside the classes, not applied
    char notWrittenNames[NOT_WRITTEN_SIZE]; // "HKLM\...", separated by ", ", cut to fit
    bool elevated;                      // the run is elevated: the system ignores per-user classes
    int leftOut;                        // /R: keys and values a .reg file cannot hold faithfully
    char leftOutNames[NOT_WRITTEN_SIZE]; // their names, separated by ", ", cut to fit
    char *recorded;                     // /R, /M: what was recorded, as .reg text (UTF-8, freed by the caller); null: nothing
};

struct RedirectOps
{
    // Maps the registry for a component's calls (a RedirectMode); false with the system's error.
    bool (*begin)(int mode, uint32_t *error);
    // Puts it back; keep: the calls succeeded, and what they wrote counts (component: its full
    // path names the recording's comment).
    void (*end)(int mode, bool keep, const char *component, RedirectOutcome *outcome);
    // Keeps a /R recording for the record file: this run's own, or the first process's.
    void (*keepRecording)(const char *text, size_t length);
};

// Where the registry goes for a component's calls: recorded (/R, or /M, which is made from a
// recording), the current user's (/C), or nowhere else.
RedirectMode RedirectFor(bool record, bool currentUser);

// The row's text after the calls succeeded: "Recorded 12 keys" (or that nothing was recorded);
// for /C the success words (done) and what was not written, and a sentence when elevated.
void ComposeRedirectedText(RedirectMode mode, const char *done, const RedirectOutcome &outcome, char *text,
                           size_t size);

// The row of a component that /R was to record but that is being unregistered: nothing is called.
extern const char RECORD_ONLY_REGISTERS_TEXT[];
