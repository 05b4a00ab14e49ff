#pragma once
// What a component's registration writes, as the text of a .reg file in the format of regedit
// ("Windows Registry Editor Version 5.00"): a line per key, a line per value. Window-free: names
// and text come in UTF-8, data as the registry holds it; the file itself (UTF-16) is written by
// the Win32 side.
#include <cstddef>
#include <cstdint>

// A text that grows as it is appended to; it owns its memory (null until the first append).
struct RegText
{
    char *data;
    size_t length;
    size_t capacity;
    bool failed; // memory ran out: the text is incomplete
};

void AppendText(RegText *text, const char *part);
void AppendBytes(RegText *text, const char *part, size_t count);
void FreeText(RegText *text);

constexpr const char REG_FILE_HEADER[] = "Windows Registry Editor Version 5.00\r\n";

// "[HKEY_CLASSES_ROOT\CLSID\{...}]" and the line end; a blank line before it.
void AppendRegKey(RegText *text, const char *root, const char *path);

// One value: its name ("@" for the default value, null or empty name), then its data:
// REG_SZ as "..." with \ and " escaped (as hex(1): when it holds a line end or is not one
// terminated string), REG_DWORD as dword:, REG_BINARY as hex:, REG_EXPAND_SZ hex(2):,
// REG_MULTI_SZ hex(7):, REG_QWORD hex(b):, any other type hex(N):. textUtf8 is REG_SZ data as
// UTF-8 (null for other types); bytes are the data as the registry holds it. Long hex data goes
// on continuation lines, as regedit writes it.
void AppendRegValue(RegText *text, const char *name, uint32_t type, const unsigned char *bytes, size_t size,
                    const char *textUtf8);

// True when a .reg file holds a key's or a value's name faithfully: none of its length bytes is a
// CR, LF or NUL (each would start a line or end the name), and a key's does not end in ']'.
bool RegNameIsFaithful(const char *name, size_t length, bool key);

// Adds name to the list "a, b" in list (size bytes), each control character shown as '?'; a name
// that does not fit whole is left out.
void AddToNameList(char *list, size_t size, const char *name, size_t length);
