#pragma once
// Long path expansion: a path that holds short (8.3) names is rewritten into its long form, in
// place. Window-free: the directory lookup is handed in.
#include <cstddef>

// Looks up the first directory entry that pattern names and writes that entry's long name, as
// the file system stores it and without its folder, into name (260 bytes). False when nothing
// matches.
typedef bool (*FindEntryName)(const char *pattern, char *name, void *context);

// path is the caller's 260-byte buffer holding a terminated path of at most 259 characters. A
// path that holds a tilde is rewritten with the long name of each of its names; any path that
// cannot be rewritten so that it names the same entry is left byte for byte as it was.
void ExpandLongPath(char *path, FindEntryName findEntryName, void *context);
