#include "app/watchdog/watchdog.h"

#include <cstdio>

size_t WatchWindows(WindowWatch *watch, const uintptr_t *shown, size_t count, uint32_t now, uintptr_t *due)
{
    WindowWatch next = {};
    size_t dueCount = 0;
    for (size_t i = 0; i < count && next.count < WATCHED_WINDOWS_MAX; i++)
    {
        uint32_t since = now;
        for (size_t j = 0; j < watch->count; j++)
            if (watch->handles[j] == shown[i])
                since = watch->since[j];
        if (now - since >= ANSWER_AFTER_MS)
        {
            due[dueCount++] = shown[i];
            since = now;
        }
        next.handles[next.count] = shown[i];
        next.since[next.count++] = since;
    }
    *watch = next;
    return dueCount;
}

void ComposeWindowNote(const char *button, const char *title, const char *text, char *out, size_t size)
{
    char label[64];
    size_t length = 0;
    for (const char *at = button != nullptr ? button : ""; *at != '\0' && length < sizeof label - 1; at++)
        if (*at != '&')
            label[length++] = *at;
    label[length] = '\0';
    const bool both = title[0] != '\0' && text[0] != '\0';
    char answer[96];
    if (button != nullptr)
        std::snprintf(answer, sizeof answer, "answered with %s", label);
    else
        std::snprintf(answer, sizeof answer, "closed");
    std::snprintf(out, size, "The component showed a window, which TolVane %s: \"%s%s%s\"", answer, title,
                  both ? ": " : "", text);
}

void ComposeAbandonText(uint32_t limitSeconds, char *text, size_t size)
{
    std::snprintf(text, size,
                  "The component did not return within %u seconds, the time limit that /T set, so TolVane abandoned "
                  "it; the rest of the batch went on in a fresh process.",
                  static_cast<unsigned>(limitSeconds));
}
