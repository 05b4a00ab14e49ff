#include "app/paths/long_path.h"

#include <cstring>

#include "app/paths/path_parts.h"

static const size_t LONG_PATH_BUFFER_SIZE = 260; // the caller's buffer: 259 characters and a terminator

// Length of the text at s, or limit when no terminator comes within limit bytes.
static size_t BoundedLength(const char *s, size_t limit)
{
    size_t length = 0;
    while (length < limit && s[length] != '\0')
        ++length;
    return length;
}

// Characters that make the lookup match by pattern: '*' and '?', and '<', '>' and '"', which
// FindFirstFileA hands on to the file system as its DOS wildcards.
static bool IsWildcard(char c)
{
    return c == '*' || c == '?' || c == '<' || c == '>' || c == '"';
}

// A name of dots and spaces only ("." and ".." among them): Windows reads it as this folder or
// the one above, or trims it away, and the lookup of such a name can answer with the folder's own
// name, so the long form would name a folder twice.
static bool IsDotName(const char *name, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (name[i] != '.' && name[i] != ' ')
            return false;
    return true;
}

// True when the long forms of path's names can be looked up one by one and joined behind the
// root without naming another entry than path names.
static bool CanExpand(const char *path, size_t length, size_t rootLength)
{
    for (size_t i = 0; i < length; ++i)
    {
        if (IsWildcard(path[i]) || path[i] == '/')
            return false;
        if (path[i] == ':' && i >= rootLength) // a stream name, or a colon the root did not take
            return false;
    }

    // An empty name would give a pattern that ends in a backslash, or a name that the join drops.
    size_t start = rootLength;
    while (start <= length)
    {
        size_t end = start;
        while (end < length && path[end] != '\\')
            ++end;
        if (end == start || IsDotName(path + start, end - start))
            return false;
        start = end + 1;
    }
    return true;
}

// A name that the lookup gave back: one plain name of 1 to 259 characters.
static bool IsEntryName(const char *name, size_t length)
{
    if (length == 0 || length >= LONG_PATH_BUFFER_SIZE || IsDotName(name, length))
        return false;
    for (size_t i = 0; i < length; ++i)
        if (name[i] == '\\' || name[i] == '/' || name[i] == ':' || IsWildcard(name[i]))
            return false;
    return true;
}

// A path that holds a tilde is rebuilt as its root, kept as written, followed by the long name
// of each of its names, each looked up by the path up to and including it, from the root outward.
// The root is "C:\" for a full path, "C:" for one relative to the drive's current folder, "\"
// for one from the root of the current drive, "\\server\share\" for a network path and nothing
// for a path relative to the current folder; the lookup resolves each of these the way the
// loader does later. The buffer is left as it was when the path holds a wildcard, a forward
// slash, a stream name, an empty name or a name of dots only, when a lookup finds nothing, or
// when the long form would not fit in 259 characters. It is written once, at the end.
void ExpandLongPath(char *path, FindEntryName findEntryName, void *context)
{
    size_t length = BoundedLength(path, LONG_PATH_BUFFER_SIZE);
    if (length == LONG_PATH_BUFFER_SIZE || std::memchr(path, '~', length) == nullptr)
        return;
    size_t rootLength = 0;
    if (!PathRoot(path, length, &rootLength) || !CanExpand(path, length, rootLength))
        return;

    char result[LONG_PATH_BUFFER_SIZE];
    char pattern[LONG_PATH_BUFFER_SIZE];
    char name[LONG_PATH_BUFFER_SIZE];
    std::memcpy(result, path, rootLength);
    size_t resultLength = rootLength;

    size_t start = rootLength;
    for (;;)
    {
        size_t end = start;
        while (end < length && path[end] != '\\')
            ++end;
        std::memcpy(pattern, path, end);
        pattern[end] = '\0';

        name[0] = '\0';
        if (!findEntryName(pattern, name, context))
            return;
        size_t nameLength = BoundedLength(name, LONG_PATH_BUFFER_SIZE);
        if (!IsEntryName(name, nameLength))
            return;

        size_t separator = start > rootLength ? 1 : 0;
        if (resultLength + separator + nameLength > LONG_PATH_BUFFER_SIZE - 1)
            return;
        if (separator != 0)
            result[resultLength++] = '\\';
        std::memcpy(result + resultLength, name, nameLength);
        resultLength += nameLength;

        if (end == length)
            break;
        start = end + 1;
    }
    result[resultLength] = '\0';
    std::memcpy(path, result, resultLength + 1);
}
