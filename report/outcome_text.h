#pragma once
// The detail message for one row of the results table: its title and text, chosen by the row's
// code alone. Window-free: the system's text lookup is handed in.
#include <cstddef>

#include "base/run_state.h"
#include "base/system_text.h"

constexpr size_t OUTCOME_TEXT_SIZE = 2048; // room for every message with a 259-character path
constexpr size_t OUTCOME_SYSTEM_TEXT_SIZE = 512;

// Fills text (size bytes) and returns the title.
const char *ComposeOutcome(const ResultEntry &row, int unregister, SystemTextLookup lookup, char *text, size_t size);
