#pragma once
// The system's text for an error code, as the rows and messages show it. Window-free: the
// lookup (FormatMessageA on Windows) is handed in.
#include <cstddef>
#include <cstdint>

// Writes the system's one-line text for code into text (size bytes), its inserts ("%1") left as
// they are; false when it has none.
typedef bool (*SystemTextLookup)(uint32_t code, char *text, size_t size);

// The system's text for code with insert (the component's path; null: none) in place of "%1",
// or, when the system has no text for it, a sentence that says so with the code in hexadecimal.
// Never empty.
void FormatSystemText(SystemTextLookup lookup, uint32_t code, const char *insert, char *text, size_t size);

// The row text for a system code: the text above less its last two characters (the line end),
// or the "no message" sentence, uncut, when there is no system text or nothing is left of it.
void FormatSystemRowText(SystemTextLookup lookup, uint32_t code, const char *insert, char *text, size_t size);
