#pragma once
// The watchdog of a silent run: while an entry point runs, a window that the component shows waits
// for nobody. One that has stayed for a second is answered as a person pressing Enter would, and
// what it said goes with the component's row. Window-free: which windows are due, and the words.
#include <cstddef>
#include <cstdint>

constexpr uint32_t WATCHDOG_TICK_MS = 250; // how often the watchdog looks
constexpr uint32_t ANSWER_AFTER_MS = 1000; // how long a window stays before it is answered
constexpr size_t WATCHED_WINDOWS_MAX = 64;

struct WindowWatch
{
    uintptr_t handles[WATCHED_WINDOWS_MAX];
    uint32_t since[WATCHED_WINDOWS_MAX]; // when each was first seen, or last answered
    size_t count;
};

// Takes the windows shown now (count of them) at time now: forgets those that are gone, notes the
// new ones, and puts into due those that have stayed for ANSWER_AFTER_MS since they were first
// seen or last answered, which count as answered now. Returns how many are due.
size_t WatchWindows(WindowWatch *watch, const uintptr_t *shown, size_t count, uint32_t now, uintptr_t *due);

// The words for the row: 'The component showed a window, which TolVane answered with OK:
// "Setup: Registration complete"', or '... which TolVane closed: "..."' when it had no default
// button (button null). The button's label loses its '&' marks; an empty title or text is left out.
void ComposeWindowNote(const char *button, const char *title, const char *text, char *out, size_t size);

// The row of a component whose step ran past the time limit of /T (limitSeconds) and was abandoned.
void ComposeAbandonText(uint32_t limitSeconds, char *text, size_t size);
