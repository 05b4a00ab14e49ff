#pragma once
// What a component's registration writes, as the text of a .reg file in the format of regedit
// ("Windows Registry Editor Version 5.00"): a line per key, a line per value. Window-free: names
// and text come in UTF-8, data as the registry holds it; the file itself (UTF-16) is written by
// the Win32 side.
#include <cstddef>
#include <cstdint>

#include "base/text.h"

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
// A .reg text read back: each key with its values. Strings point into the file's own copies.
struct RegFileKey
{
    const char *path;      // "HKEY_CLASSES_ROOT\CLSID\{...}"
    const char *classPath; // the part below a classes root ("CLSID\{...}"); null outside the classes
    bool used;             // for the reader's user: e.g. a manifest element expresses it
};

struct RegFileValue
{
    int key;          // its key's index
    const char *name; // "" for the default value
    const char *data; // a quoted string's text; null for data written as dword: or hex
    uint32_t type;    // REG_SZ 1, REG_EXPAND_SZ 2, REG_BINARY 3, REG_DWORD 4...
    // The data: REG_SZ and REG_EXPAND_SZ as UTF-8 text (size without a terminator, which follows
    // it), every other type as the registry holds it.
    const unsigned char *bytes;
    size_t size;
    bool used;
};

struct RegFile
{
    char *copy;           // the text's lines
    unsigned char *arena; // data decoded from hex
    RegFileKey *keys;
    int keyCount;
    RegFileValue *values;
    int valueCount;
    bool failed; // memory ran out: what was read so far is kept
};

// Reads a .reg text (UTF-8, as the recording gives it): key lines and value lines, hex data over
// continuation lines; anything else is skipped.
void ReadRegFile(const char *text, RegFile *file);
void FreeRegFile(RegFile *file);

// Key and value names (UTF-8) compare without regard to ASCII case.
inline bool SameRegName(const char *a, const char *b)
{
    return SameIgnoringCase(a, b, NoLeadBytes);
}
