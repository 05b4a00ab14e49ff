#pragma once
// The results table as text for the clipboard (Ctrl+C in the results list). Window-free.
#include <cstddef>

#include "base/run_state.h"

// A title line ("Component", "Code", "Results"), then one line per row: the component's path
// as recorded, the code as the Code column shows it and the result text; cells separated by
// tabs, every line ending in CR LF. Writes at most size bytes, terminated, when out is not null;
// returns the length of the whole text, without the terminator.
size_t ComposeResultsText(const ResultsTable &table, char *out, size_t size);
