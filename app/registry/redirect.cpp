#include "app/registry/redirect.h"

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
        if (outcome.keys == 0)
            std::snprintf(text, size, "Nothing was recorded: the component wrote no registry key.");
        else
            std::snprintf(text, size, "Recorded %d key%s", outcome.keys, outcome.keys == 1 ? "" : "s");
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
