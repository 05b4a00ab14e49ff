#include "app/redirect/redirect.h"

#include <cstdio>

const char RECORD_ONLY_REGISTERS_TEXT[] =
    "Nothing was called: a recording (/R) describes what registering writes, not unregistering.";

RedirectMode RedirectFor(bool record, bool currentUser)
{
    if (record)
        return REDIRECT_RECORD;
    return currentUser ? REDIRECT_CURRENT_USER : REDIRECT_NONE;
}

void ComposeRedirectedText(RedirectMode mode, const char *done, const RedirectOutcome &outcome, char *text,
                           size_t size)
{
    if (mode == REDIRECT_RECORD)
    {
        const int length = outcome.keys == 0
                               ? std::snprintf(text, size, "Nothing was recorded: the component wrote no registry key")
                               : std::snprintf(text, size, "Recorded %d key%s", outcome.keys, outcome.keys == 1 ? "" : "s");
        const size_t used = length > 0 && static_cast<size_t>(length) < size ? static_cast<size_t>(length) : size;
        if (outcome.leftOut > 0 && used < size)
            std::snprintf(text + used, size - used,
                          ". %d key%s or value%s that a .reg file cannot hold faithfully %s left out: %s",
                          outcome.leftOut, outcome.leftOut == 1 ? "" : "s", outcome.leftOut == 1 ? "" : "s",
                          outcome.leftOut == 1 ? "was" : "were", outcome.leftOutNames);
        else if (outcome.keys == 0 && used + 1 < size)
            std::snprintf(text + used, size - used, ".");
        return;
    }
    size_t length = static_cast<size_t>(std::snprintf(text, size, "%s for the current user", done));
    if (outcome.notWritten > 0 && length < size)
        length += static_cast<size_t>(std::snprintf(text + length, size - length,
                                                    ". %d machine-wide key%s %s not written: %s", outcome.notWritten,
                                                    outcome.notWritten == 1 ? "" : "s",
                                                    outcome.notWritten == 1 ? "was" : "were",
                                                    outcome.notWrittenNames));
    if (outcome.elevated && length < size)
        std::snprintf(text + length, size - length,
                      ". TolVane runs elevated, and the system ignores per-user registrations for elevated programs");
}
