#include "app/paths/path_parts.h"

#include <cstdio>
#include <cstring>

// True for the separators of a path, '\\' and '/'.
static bool IsPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Length of the character that starts at p: 2 for a lead byte with a trail byte after it.
// Copies [begin, end) into a part buffer, cut to PART_BUFFER_SIZE - 1 bytes.
static void CopyPart(char *part, const char *begin, const char *end, LeadByteTest isLeadByte)
{
    CopyWholeCharacters(part, PART_BUFFER_SIZE, begin, end, isLeadByte);
}

void SplitPath(const char *path, LeadByteTest isLeadByte, PathParts *parts)
{
    parts->drive[0] = '\0';
    const char *rest = path;
    if (path[0] != '\0' && path[1] == ':' && !isLeadByte(static_cast<unsigned char>(path[0])))
    {
        parts->drive[0] = path[0];
        parts->drive[1] = ':';
        parts->drive[2] = '\0';
        rest = path + 2;
    }

    const char *nameStart = rest;
    const char *lastDot = nullptr;
    const char *p = rest;
    while (*p != '\0')
    {
        if (IsPathSeparator(*p))
        {
            nameStart = p + 1;
            lastDot = nullptr;
        }
        else if (*p == '.')
        {
            lastDot = p;
        }
        p += CharacterLength(p, isLeadByte);
    }
    const char *end = p;
    const char *nameEnd = lastDot != nullptr ? lastDot : end;

    CopyPart(parts->directory, rest, nameStart, isLeadByte);
    CopyPart(parts->fileName, nameStart, nameEnd, isLeadByte);
    CopyPart(parts->extension, nameEnd, end, isLeadByte);
}

// Appends text to out, whole characters only; returns false when something did not fit.
static bool Append(char *out, size_t &length, const char *text, LeadByteTest isLeadByte)
{
    return AppendWhole(out, PATH_BUFFER_SIZE, &length, text, isLeadByte);
}

// True when the last character of text (not a trail byte) is a separator.
static bool EndsInSeparator(const char *text, LeadByteTest isLeadByte)
{
    bool separator = false;
    for (const char *p = text; *p != '\0'; p += CharacterLength(p, isLeadByte))
        separator = IsPathSeparator(*p);
    return separator;
}

bool MakePath(char *out, const char *drive, const char *directory, const char *fileName, const char *extension,
              LeadByteTest isLeadByte)
{
    size_t length = 0;
    bool whole = true;
    out[0] = '\0';
    if (drive != nullptr && drive[0] != '\0')
    {
        const char driveText[3] = {drive[0], ':', '\0'};
        whole = Append(out, length, driveText, isLeadByte);
    }
    if (whole && directory != nullptr && directory[0] != '\0')
    {
        whole = Append(out, length, directory, isLeadByte);
        if (whole && !EndsInSeparator(directory, isLeadByte))
            whole = Append(out, length, "\\", isLeadByte);
    }
    if (whole && fileName != nullptr)
        whole = Append(out, length, fileName, isLeadByte);
    if (whole && extension != nullptr && extension[0] != '\0')
    {
        if (extension[0] != '.')
            whole = Append(out, length, ".", isLeadByte);
        if (whole)
            whole = Append(out, length, extension, isLeadByte);
    }
    return whole;
}

bool IsDeviceName(const char *fullPath, LeadByteTest isLeadByte)
{
    if (std::strncmp(fullPath, "\\\\.\\", 4) == 0)
        return true;
    PathParts parts;
    SplitPath(fullPath, isLeadByte, &parts);
    // The device's name ends at the first dot or colon, less any blanks before it.
    char name[PART_BUFFER_SIZE];
    size_t length = 0;
    for (const char *at = parts.fileName; *at != '\0' && *at != '.' && *at != ':' && length < sizeof name - 1; at++)
        name[length++] = static_cast<char>(*at >= 'a' && *at <= 'z' ? *at - 'a' + 'A' : *at);
    while (length > 0 && name[length - 1] == ' ')
        length--;
    name[length] = '\0';
    static const char *const DEVICES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *device : DEVICES)
        if (std::strcmp(name, device) == 0)
            return true;
    const bool numbered = std::strncmp(name, "COM", 3) == 0 || std::strncmp(name, "LPT", 3) == 0;
    return numbered && length == 4 && name[3] >= '1' && name[3] <= '9';
}

bool PathRoot(const char *path, size_t length, size_t *rootLength)
{
    if (length >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]))
    {
        size_t serverEnd = 2;
        while (serverEnd < length && !IsPathSeparator(path[serverEnd]))
            ++serverEnd;
        if (serverEnd == 2 || serverEnd == length)
            return false;
        size_t shareEnd = serverEnd + 1;
        while (shareEnd < length && !IsPathSeparator(path[shareEnd]))
            ++shareEnd;
        if (shareEnd == serverEnd + 1 || shareEnd == length)
            return false;
        *rootLength = shareEnd + 1;
    }
    else if (length >= 1 && IsPathSeparator(path[0]))
        *rootLength = 1;
    else if (length >= 2 && path[1] == ':')
        *rootLength = (length >= 3 && IsPathSeparator(path[2])) ? 3 : 2;
    else
        *rootLength = 0;
    return true;
}

const char *FileNamePart(const char *path, LeadByteTest isLeadByte)
{
    if (path[0] != '\0' && path[1] == ':' && !isLeadByte(static_cast<unsigned char>(path[0])))
        path += 2;
    const char *name = path;
    for (const char *p = path; *p != '\0'; p += CharacterLength(p, isLeadByte))
        if (IsPathSeparator(*p))
            name = p + 1;
    return name;
}

void FolderOf(const char *path, LeadByteTest isLeadByte, char *out)
{
    PathParts parts;
    SplitPath(path, isLeadByte, &parts);
    MakePath(out, parts.drive, parts.directory, nullptr, nullptr, isLeadByte);
}

bool DependsOnCurrentFolder(const char *path)
{
    size_t root = 0;
    return PathRoot(path, std::strlen(path), &root) && root < 3;
}

void FullPathFromFolder(const char *folder, const char *path, char *out)
{
    size_t root = 0;
    PathRoot(path, std::strlen(path), &root);
    size_t folderRoot = 0;
    const bool rooted = folder != nullptr && PathRoot(folder, std::strlen(folder), &folderRoot) && folderRoot > 0;
    const bool otherDrive = root == 2 && (folder == nullptr || folder[1] != ':' ||
                                          (folder[0] | 0x20) != (path[0] | 0x20));
    if (!rooted || !DependsOnCurrentFolder(path) || otherDrive)
        std::snprintf(out, PATH_BUFFER_SIZE, "%s", path);
    else if (root == 1) // "\x": the folder's root, without its own separator
        std::snprintf(out, PATH_BUFFER_SIZE, "%.*s%s", static_cast<int>(folderRoot - (IsPathSeparator(folder[folderRoot - 1]) ? 1 : 0)),
                      folder, path);
    else
    {
        const char *rest = path + root; // "C:x" on the folder's own drive is "x" there
        if (rest[0] == '.' && IsPathSeparator(rest[1]))
            rest += 2;
        const size_t length = std::strlen(folder);
        std::snprintf(out, PATH_BUFFER_SIZE, "%s%s%s", folder, length > 0 && IsPathSeparator(folder[length - 1]) ? "" : "\\",
                      rest);
    }
}

bool SameFolder(const char *current, const char *folder)
{
    const size_t length = std::strlen(current);
    if (length == 0)
        return false;
    if (current[length - 1] == '\\')
        return std::strcmp(current, folder) == 0;
    return std::strncmp(current, folder, length) == 0 && folder[length] == '\\' && folder[length + 1] == '\0';
}

bool IsBlankPath(const char *path)
{
    for (; *path != '\0'; path++)
        if (*path != ' ')
            return false;
    return true;
}

// The plain form of a "\\?\" path to a drive or a share ("C:\x", "\\server\share\x") when it names
// the same file: no component ends in a dot or a blank, which the plain form would drop. Null when
// there is none.
static const char *PlainFormOf(const char *path, char *plain)
{
    const char *rest = nullptr;
    if (std::strncmp(path, "\\\\?\\UNC\\", 8) == 0)
    {
        plain[0] = '\\';
        std::strcpy(plain + 1, path + 7);
        rest = plain;
    }
    else if (std::strncmp(path, "\\\\?\\", 4) == 0 && path[4] != '\0' && path[5] == ':' && path[6] == '\\')
    {
        std::strcpy(plain, path + 4);
        rest = plain;
    }
    if (rest == nullptr)
        return nullptr;
    for (const char *at = rest; *at != '\0'; at++)
        if ((*at == '.' || *at == ' ') && (at[1] == '\\' || at[1] == '\0'))
            return nullptr;
    return rest;
}

void ExactModuleName(const char *fullPath, LeadByteTest isLeadByte, char *out)
{
    // The loader adds ".dll" to a name without an extension, and the system drops a trailing dot
    // only from a plain path: a "\\?\" path is loaded in its plain form, where it has one.
    char plain[PATH_BUFFER_SIZE];
    const bool literal = std::strncmp(fullPath, "\\\\?\\", 4) == 0;
    const char *path = literal ? PlainFormOf(fullPath, plain) : fullPath;
    if (path == nullptr)
    {
        std::snprintf(out, PATH_BUFFER_SIZE + 1, "%s", fullPath);
        return;
    }
    PathParts parts;
    SplitPath(path, isLeadByte, &parts);
    std::snprintf(out, PATH_BUFFER_SIZE + 1, "%s%s", path, parts.extension[0] == '\0' ? "." : "");
}

