#pragma once
// Text in the ANSI code page, copied and appended in bounded buffers by whole characters: a
// double-byte character is never split. Window-free: the code page's lead-byte test is handed in.
#include <cstddef>

// True when the byte starts a double-byte character in the system's ANSI code page.
typedef bool (*LeadByteTest)(unsigned char c);

// A lead-byte test for single-byte code pages (and for UTF-8, whose bytes of a character are
// never taken for a separator or a dot).
bool NoLeadBytes(unsigned char c);

// An ASCII letter in lower case; any other byte as it is.
char FoldCase(char c);

// The length of the character at text: 2 for a double-byte one whose second byte is there, else 1.
size_t CharacterLength(const char *text, LeadByteTest isLeadByte);

// Whether a and b are the same text but for the case of ASCII letters (the second byte of a
// double-byte character is compared as it is).
bool SameIgnoringCase(const char *a, const char *b, LeadByteTest isLeadByte);

// What follows prefix (ASCII) in text when text starts with it but for the case of letters; null
// when it does not.
const char *AfterIgnoringCase(const char *text, const char *prefix);

// Copies [begin, end) into out (capacity bytes), whole characters only: a double-byte character
// that does not fit is left out with everything after it. Returns the length copied.
size_t CopyWholeCharacters(char *out, size_t capacity, const char *begin, const char *end, LeadByteTest isLeadByte);

// Appends text at *length of out (size bytes, terminated), whole characters of it as fit; *length
// grows by the whole text's length all the same, so that a caller can ask how much room it
// needs (out may then be null). False when something did not fit.
bool AppendWhole(char *out, size_t size, size_t *length, const char *text, LeadByteTest isLeadByte);
