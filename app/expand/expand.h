#pragma once
// Patterns and folders on the command line: an argument with '*' or '?' in its last element, or one
// that names a folder, stands for the components it matches, in name order. Expanded once, in the
// first process, before any component runs; the child runs and the twin get the names. A file is
// taken only when it is a component for the calls its modes ask, read from its bytes, never loaded.
// Window-free.
#include <cstddef>
#include <cstdint>

#include "app/options.h"
#include "base/text.h"

// A folder's entry as the listing gives it.
typedef void (*FolderEntrySink)(const char *name, bool folder, void *context);

struct ExpandOps
{
    // Hands every entry of folder (a full path ending in a separator) to sink; false when the
    // folder cannot be listed.
    bool (*listFolder)(const char *folder, FolderEntrySink sink, void *context);
    // The whole file at path (bounded) into a malloc'd buffer that the caller frees; false when it
    // cannot be read.
    bool (*readFile)(const char *path, unsigned char **bytes, size_t *size);
    bool (*isFolder)(const char *path);
    // The full path of path from the current folder (the run's start) into out; false when it
    // cannot be had.
    bool (*fullPath)(const char *path, char *out, size_t size);
    LeadByteTest isLeadByte;
};

// Where an argument's wildcards stand.
enum PatternPlace
{
    PATTERN_NONE,   // a plain name
    PATTERN_LAST,   // in the last element only: expanded
    PATTERN_FOLDER, // in a folder part: never expanded
};
PatternPlace FindPattern(const char *argument, LeadByteTest isLeadByte);

// Whether name matches pattern: '*' any run of characters, '?' one character, case-insensitive
// (ASCII letters); "*.*" matches every name, as in the system's own tools.
bool MatchesPattern(const char *pattern, const char *name, LeadByteTest isLeadByte);

// Name order: case-insensitive (ASCII letters), ties broken by the bytes; as strcmp answers.
int CompareNames(const char *a, const char *b);

// A file that a folder argument stands for: .dll, .ocx, .ax, .tlb or .olb, in any case.
bool HasComponentExtension(const char *name, LeadByteTest isLeadByte);

// Whether the file image is a component for the modes in force at an argument (unregister: /U or
// Shift): it exports every entry point they call (the (un)registration call when /N alone asks
// for none, so that its rows say so for components), or it is a type library (which has no
// DllInstall: not under /I). A PE image of either machine counts alike.
bool IsComponentFor(const unsigned char *bytes, size_t size, const Modes &modes, bool unregister);

// An expanded command line: values[0] is the program. origin[i] is the index of the given argument
// that values[i] is, or -1 for one made here (a summary or a matched file's full path), whose
// string this owns.
struct ExpandedArguments
{
    int count;
    char **values;
    bool *unrepresentable;
    int *origin;
};

// Expands argv[1..argc-1]: a pattern or a folder becomes its summary argument followed by the full
// paths of its components, in name order; a pattern in a folder part becomes the argument of a row
// that says so. Every other argument stays where it stood. A plain argument with a component's
// extension is taken as a file without asking; any other plain one is asked whether it is a folder.
// unrepresentable (null: none) marks arguments never read as options or names; unregister is the
// mode the run starts in. An argument that starts with "/*" is private to this program: one given
// here is dropped, as it would have been ignored. False when memory ran out.
bool ExpandArguments(int argc, char **argv, const bool *unrepresentable, bool unregister, const ExpandOps &ops,
                     ExpandedArguments *out);

// Frees what ExpandArguments made.
void FreeExpandedArguments(ExpandedArguments *expanded);

// The private arguments: "/*matched:<components>:<skipped>:<argument>", a pattern's or a folder's
// summary, and "/*unexpanded:<argument>", a pattern in a folder part. Each makes one row. Out of
// memory: null.
char *MakeSummaryArgument(int components, int skipped, const char *argument);
char *MakeUnexpandedArgument(const char *argument);

// What a private argument says; false for one of another form.
struct ExpansionRow
{
    bool unexpanded; // a pattern in a folder part
    int components;
    int skipped;
    const char *argument; // within the private argument
};
bool ParseExpansionArgument(const char *privateArgument, ExpansionRow *row);

// The row of a private argument, appended to the results table in these modes: a summary (code 0,
// no effect on the exit value), not found (-2, nothing matched) or a pattern in a folder part
// (123). Every private argument makes exactly one row.
void AppendExpansionRow(const char *privateArgument, const Modes &modes, bool unregister);
