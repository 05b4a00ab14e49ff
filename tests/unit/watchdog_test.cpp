// The watchdog of a silent run: which windows are due for an answer, and the words for the row.
#include <gtest/gtest.h>

#include <vector>

#include "app/watchdog/watchdog.h"

namespace
{

TEST(WatchWindows, AWindowIsAnsweredAfterItHasStayedForASecondAndAgainASecondLater)
{
    struct Tick
    {
        uint32_t now;
        std::vector<uintptr_t> shown;
        std::vector<uintptr_t> due;
    };
    const Tick ticks[] = {
        {0, {1}, {}},
        {250, {1, 2}, {}},
        {999, {1, 2}, {}},
        {1000, {1, 2}, {1}},
        {1250, {2}, {2}},
        // Gone, then back: it is new again.
        {1500, {}, {}},
        {1750, {1}, {}},
        {2750, {1}, {1}},
        // Still there a second after its answer: answered again.
        {3000, {1}, {}},
        {3750, {1}, {1}},
        // The clock wraps round.
        {0xFFFFFF00u, {3}, {}},
        {0x000002F0u, {3}, {3}},
    };
    WindowWatch watch = {};
    for (const Tick &tick : ticks)
    {
        uintptr_t due[WATCHED_WINDOWS_MAX];
        const size_t count = WatchWindows(&watch, tick.shown.data(), tick.shown.size(), tick.now, due);
        EXPECT_EQ(std::vector<uintptr_t>(due, due + count), tick.due) << "at " << tick.now;
    }
}

TEST(WindowNote, SaysWhatWasShownAndHowItWasAnswered)
{
    const struct
    {
        const char *button;
        const char *title;
        const char *text;
        const char *note;
    } cases[] = {
        {"OK", "Setup", "Registration complete",
         "The component showed a window, which TolVane answered with OK: \"Setup: Registration complete\""},
        {"&Yes", "Setup", "Register now?",
         "The component showed a window, which TolVane answered with Yes: \"Setup: Register now?\""},
        {nullptr, "Progress", "", "The component showed a window, which TolVane closed: \"Progress\""},
        {"OK", "", "No title", "The component showed a window, which TolVane answered with OK: \"No title\""},
    };
    for (const auto &c : cases)
    {
        char note[256];
        ComposeWindowNote(c.button, c.title, c.text, note, sizeof note);
        EXPECT_STREQ(note, c.note);
    }
}

} // namespace
