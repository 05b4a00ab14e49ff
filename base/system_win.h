#pragma once
// What the Win32 layers of every part share: the program's instance handle, the system's error
// texts and the ANSI code page's lead bytes.
#include <windows.h>
#include <cstddef>
#include <cstdint>

// The instance handle WinMain was given, for dialog templates and resources.
extern HINSTANCE appInstance;

// FormatMessageA from the system table, on one line, in the user's default language, with the
// inserts ("%1") left as they are (a SystemTextLookup).
bool WinSystemText(uint32_t code, char *text, size_t size);

// True when the byte starts a double-byte character in the ANSI code page (a LeadByteTest).
bool WinIsLeadByte(unsigned char c);

// Writes bytes to a temporary file beside path (its name ends in ".tolvane-<process id>.tmp"),
// then renames it over path, so that a failed write never leaves half a file or damages an
// existing one. Returns 0, or the system's error.
uint32_t WriteWholeFile(const wchar_t *path, const void *bytes, uint32_t length);

// Whether path can be written as WriteWholeFile writes it: its temporary file is created and
// deleted, and path itself is left as it is. Returns 0, or the system's error.
uint32_t ProbeWritable(const wchar_t *path);

// Loads a DLL of the system by its full path in the system folder, never from the program's own
// folder or the current one; null when it cannot.
HMODULE LoadSystemModule(const char *name);

// The process runs elevated (its token says so); false when that cannot be had.
bool ProcessIsElevated();

// The full path of path into out (size bytes, GetFullPathNameA); false with the system's reason in
// the last-error value, 206 when it does not fit.
bool WinFullPath(const char *path, char *out, size_t size);

// text (in the ANSI code page) as UTF-16, in a buffer to be freed; null when memory ran out.
wchar_t *WinWide(const char *text);

// Reads the first size bytes of the file at path, or all of a smaller one, into bytes; the count
// read, 0 when it cannot be read.
size_t ReadFileStart(const char *path, unsigned char *bytes, size_t size);

// The same file, however it is named: the same name, or the same volume and file index.
bool WinSameFile(const char *first, const char *second);

// The file at path, up to PE_MAX_FILE bytes (its start), into a malloc'd buffer that the caller
// frees; false, with nothing to free, when it cannot be read or is empty.
bool WinReadFile(const char *path, unsigned char **bytes, size_t *size);
