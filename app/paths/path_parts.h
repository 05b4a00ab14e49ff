#pragma once
// Splitting a path into drive, directory, file name and extension, and joining such parts.
// Window-free: the ANSI code page's lead-byte test is handed in.
#include <cstddef>

#include "base/text.h"

constexpr size_t PATH_BUFFER_SIZE = 260; // at most 259 characters and a terminator
constexpr size_t PART_BUFFER_SIZE = 256; // directory, file name, extension
constexpr size_t DRIVE_BUFFER_SIZE = 3;  // "C:" and a terminator

struct PathParts
{
    char drive[DRIVE_BUFFER_SIZE];
    char directory[PART_BUFFER_SIZE]; // keeps its trailing separator
    char fileName[PART_BUFFER_SIZE];
    char extension[PART_BUFFER_SIZE]; // from the last dot of the name part, dot included
};

// "C:\dir\name.dll" gives "C:", "\dir\", "name", ".dll". Either '/' or '\' separates; the second
// byte of a double-byte character is never taken for a separator or a dot. Parts longer than
// 255 characters are cut, never inside a double-byte character.
void SplitPath(const char *path, LeadByteTest isLeadByte, PathParts *parts);

// Joins the parts into out (PATH_BUFFER_SIZE bytes): the drive letter and a colon, the directory
// with a backslash added when it does not end in a separator, the file name, and the extension
// with a dot added in front when it lacks one. Missing (null or empty) parts are left out.
// Returns false when the result had to be cut to fit.
bool MakePath(char *out, const char *drive, const char *directory, const char *fileName, const char *extension,
              LeadByteTest isLeadByte);

// True when a full path names a device rather than a file: the "\\.\" namespace, or a last
// component that is a DOS device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, in
// any case), whatever extension or trailing blanks follow it.
bool IsDeviceName(const char *fullPath, LeadByteTest isLeadByte);

// The length of the part of path that says where it starts: "C:\", "C:", "\", "\\server\share\"
// (either separator), 0 for a relative path. False for a network path without a server, a share
// or a separator after the share.
bool PathRoot(const char *path, size_t length, size_t *rootLength);

// The file name part of path: what follows its last separator or its drive (the whole path when
// it has neither).
const char *FileNamePart(const char *path, LeadByteTest isLeadByte);

// The folder of path with its trailing separator ("C:\dir\" of "C:\dir\x.dll") into out
// (PATH_BUFFER_SIZE bytes); empty when path names none.
void FolderOf(const char *path, LeadByteTest isLeadByte, char *out);

// True when path is resolved against a current folder: relative, drive-relative ("C:x") or
// rooted on the current drive ("\x").
bool DependsOnCurrentFolder(const char *path);

// The full path of path as folder (a full path, null: none) resolves it, into out
// (PATH_BUFFER_SIZE bytes, cut to fit): path itself when it does not depend on a current folder,
// or there is no folder. A drive-relative path on another drive ("D:x") is left as it is: only
// that drive's own current folder resolves it, and another run of this program inherits it.
void FullPathFromFolder(const char *folder, const char *path, char *out);

// True when current (as the system gives it: no trailing backslash but at a root) names folder
// (as FolderOf gives it: with one).
bool SameFolder(const char *current, const char *folder);

// True for an empty path or one of blanks only: it names nothing.
bool IsBlankPath(const char *path);

// The name to load for a component's full path: a file name without an extension gets a
// trailing dot, so that the loader takes exactly that file instead of adding ".dll". A "\\?\"
// path, from which the system drops no dot, is given in its plain form, where it has one.
// out has PATH_BUFFER_SIZE + 1 bytes.
void ExactModuleName(const char *fullPath, LeadByteTest isLeadByte, char *out);
