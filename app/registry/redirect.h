#pragma once
// The registry, redirected around a component's calls: recorded into a .reg file and changing
// nothing (/R:file), or registered for the current user (/C). Window-free: the modes, what the
// Win32 side reports of a redirected registration, and the words of the row.
#include <cstddef>

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
    char *recorded;                     // /R, /M: what was recorded, as .reg text (UTF-8, freed by the caller); null: nothing
};

// The row's text after the calls succeeded: "Recorded 12 keys" (or that nothing was recorded);
// for /C the success words (done) and what was not written, and a sentence when elevated.
void ComposeRedirectedText(RedirectMode mode, const char *done, const RedirectOutcome &outcome, char *text,
                           size_t size);

// The row of a component that /R was to record but that is being unregistered: nothing is called.
extern const char RECORD_ONLY_REGISTERS_TEXT[];
