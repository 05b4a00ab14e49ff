#include "app/redirect/redirect_win.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/registry/reg_file.h"
#include "base/run_state.h"
#include "base/system_win.h"

static const wchar_t SCRATCH_PREFIX[] = L"TolVane recording ";
static const HKEY ROOTS[4] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER};
static const wchar_t *const ROOT_NAMES[4] = {L"HKEY_CLASSES_ROOT", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS",
                                             L"HKEY_CURRENT_USER"};

static RegText recording;       // the whole run's, after the header
static wchar_t recordFile[MAX_PATH];
static wchar_t scratchName[96]; // HKEY_CURRENT_USER\Software\<scratchName>
static HKEY parts[4];           // the scratch keys the roots go to (/C: the classes, the machine part)
static HKEY userClasses;

static void DeleteTree(HKEY parent, const wchar_t *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS)
    {
        wchar_t child[256];
        DWORD length = 256;
        while (RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        {
            DeleteTree(key, child);
            length = 256;
        }
        RegCloseKey(key);
    }
    RegDeleteKeyW(parent, name);
}

// "TolVane recording <process id>-<its start time>": a scratch key whose run has ended is removed
// by the next recording run.
static void NameScratch()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    wsprintfW(scratchName, L"%s%lu-%08lx%08lx", SCRATCH_PREFIX, GetCurrentProcessId(), created.dwHighDateTime,
              created.dwLowDateTime);
}

// Reads digits of the given base at *at up to a character that is not one; false when there are none.
static bool ReadNumber(const wchar_t **at, int base, size_t most, unsigned long *value)
{
    *value = 0;
    size_t count = 0;
    for (; count < most; count++, (*at)++)
    {
        const wchar_t c = **at;
        const int digit = c >= L'0' && c <= L'9' ? c - L'0' : base == 16 && c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
        if (digit < 0)
            break;
        *value = *value * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
    }
    return count > 0;
}

static bool ScratchRunAlive(const wchar_t *name)
{
    unsigned long id = 0, high = 0, low = 0;
    const wchar_t *at = name + lstrlenW(SCRATCH_PREFIX);
    if (!ReadNumber(&at, 10, 10, &id) || *at++ != L'-' || !ReadNumber(&at, 16, 8, &high) ||
        !ReadNumber(&at, 16, 8, &low))
        return false;
    // SYNCHRONIZE for the wait below (without it the wait fails, and every live run would read as
    // gone); a process that may not be opened at all is another user's, and alive.
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    FILETIME created, exited, kernel, user;
    const bool same = GetProcessTimes(process, &created, &exited, &kernel, &user) &&
                      created.dwHighDateTime == high && created.dwLowDateTime == low &&
                      WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return same;
}

static void RemoveDeadScratch(HKEY software)
{
    for (DWORD index = 0;;)
    {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(software, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
        if (wcsncmp(name, SCRATCH_PREFIX, wcslen(SCRATCH_PREFIX)) == 0 && wcscmp(name, scratchName) != 0 &&
            !ScratchRunAlive(name))
            DeleteTree(software, name);
        else
            index++;
    }
}

// Registers type libraries under the redirected keys where oleaut32 can (Wine's cannot).
static void EnablePerUserTypeLibraries()
{
    HMODULE automation = LoadSystemModule("oleaut32.dll");
    typedef void(WINAPI * EnableProc)(void);
    EnableProc enable = automation != nullptr ? reinterpret_cast<EnableProc>(reinterpret_cast<void *>(
                                                    GetProcAddress(automation, "OaEnablePerUserTLibRegistration")))
                                              : nullptr;
    if (enable != nullptr)
        enable();
}

static uint32_t CreateScratch(HKEY *scratch)
{
    HKEY software = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &software,
                                  nullptr);
    if (status != ERROR_SUCCESS)
        return static_cast<uint32_t>(status);
    if (scratchName[0] == L'\0')
    {
        NameScratch();
        RemoveDeadScratch(software);
    }
    // Not volatile: a component's own keys could not be made under a volatile one.
    status = RegCreateKeyExW(software, scratchName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, scratch, nullptr);
    RegCloseKey(software);
    return static_cast<uint32_t>(status);
}

// Closes the scratch's parts and deletes the scratch key: nothing of TolVane's stays.
static void DropScratch()
{
    for (HKEY &part : parts)
    {
        if (part != nullptr)
            RegCloseKey(part);
        part = nullptr;
    }
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_ALL_ACCESS, &software) == ERROR_SUCCESS)
    {
        DeleteTree(software, scratchName);
        RegCloseKey(software);
    }
}

bool BeginRedirect(int mode, uint32_t *error)
{
    HKEY scratch = nullptr;
    *error = CreateScratch(&scratch);
    if (*error != 0)
        return false;
    // Every root must have its part: a root left unmapped would let the calls write the real registry.
    for (int i = 0; i < 4 && *error == 0; i++)
        *error = static_cast<uint32_t>(
            RegCreateKeyExW(scratch, ROOT_NAMES[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parts[i], nullptr));
    RegCloseKey(scratch);
    if (*error != 0)
    {
        DropScratch();
        return false;
    }
    // Type libraries are registered under HKLM\Software\Classes of the machine part.
    HKEY classes = nullptr;
    if (RegCreateKeyExW(parts[1], L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes, nullptr) ==
        ERROR_SUCCESS)
        RegCloseKey(classes);
    if (mode == REDIRECT_CURRENT_USER)
    {
        // Opened before HKEY_CURRENT_USER is mapped anywhere.
        *error = static_cast<uint32_t>(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &userClasses, nullptr));
        if (*error != 0)
        {
            DropScratch();
            return false;
        }
        RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, parts[1]);
    }
    else
    {
        // HKEY_CURRENT_USER last: the scratch is opened through it.
        for (int i = 0; i < 4; i++)
            RegOverridePredefKey(ROOTS[i], parts[i]);
    }
    EnablePerUserTypeLibraries();
    return true;
}

// wide (length characters) as UTF-8 in a buffer sized from it (to be freed; its length in
// *utf8Length); null when memory ran out.
static char *Utf8(const wchar_t *wide, int length, size_t *utf8Length)
{
    const int size = length > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr) : 0;
    char *out = static_cast<char *>(std::malloc(static_cast<size_t>(size) + 1));
    if (out == nullptr)
        return nullptr;
    WideCharToMultiByte(CP_UTF8, 0, wide, length, out, size, nullptr, nullptr);
    out[size] = '\0';
    *utf8Length = static_cast<size_t>(size);
    return out;
}

// Where the names of what a .reg file cannot hold faithfully go: the outcome of the recording.
static RedirectOutcome *leftOutSink;

// True when the name (UTF-8, length bytes) can be written; else it is named in the outcome.
static bool Faithful(const char *rootText, const char *pathText, const char *name, size_t length, bool key)
{
    if (RegNameIsFaithful(name, length, key))
        return true;
    if (leftOutSink != nullptr)
    {
        char whole[600];
        const int written = std::snprintf(whole, sizeof whole, "%s\\%s%s%.*s", rootText, pathText, key ? "" : ": ",
                                          static_cast<int>(key ? 0 : length), name);
        leftOutSink->leftOut++;
        AddToNameList(leftOutSink->leftOutNames, sizeof leftOutSink->leftOutNames, whole,
                      written > 0 && static_cast<size_t>(written) < sizeof whole ? static_cast<size_t>(written)
                                                                                   : sizeof whole - 1);
    }
    return false;
}

// Writes key (at path below root) and every key below it that holds a value or nothing at all;
// returns how many. The machine part's Software and Software\Classes are the recording's own;
// without classes, nothing below them is written.
static int WriteTree(RegText *text, HKEY key, const wchar_t *root, const wchar_t *path, bool machine,
                     bool classes = true)
{
    if (machine && !classes && wcscmp(path, L"Software\\Classes") == 0)
        return 0;
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    const bool own = machine && (wcscmp(path, L"Software") == 0 || wcscmp(path, L"Software\\Classes") == 0);
    int keys = 0;
    size_t length = 0;
    char rootText[32];
    WideCharToMultiByte(CP_UTF8, 0, root, -1, rootText, sizeof rootText, nullptr, nullptr);
    char *pathText = Utf8(path, lstrlenW(path), &length);
    if (pathText == nullptr || !Faithful(rootText, pathText, pathText, length, true))
    {
        std::free(pathText);
        return 0;
    }
    if (path[0] != L'\0' && (values > 0 || (subkeys == 0 && !own)))
    {
        AppendRegKey(text, rootText, pathText);
        keys++;
        for (DWORD i = 0; i < values; i++)
        {
            wchar_t name[16384];
            DWORD nameLength = 16384, type = 0, size = 0;
            if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
                continue;
            unsigned char *data = static_cast<unsigned char *>(std::malloc(size + 2));
            if (data == nullptr)
                continue;
            nameLength = 16384;
            char *nameText = nullptr;
            size_t nameTextLength = 0;
            if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) == ERROR_SUCCESS &&
                (nameText = Utf8(name, static_cast<int>(nameLength), &nameTextLength)) != nullptr &&
                Faithful(rootText, pathText, nameText, nameTextLength, false))
            {
                data[size] = data[size + 1] = 0;
                char *valueText = nullptr;
                size_t valueLength = 0;
                if (type == REG_SZ)
                    valueText = Utf8(reinterpret_cast<wchar_t *>(data), lstrlenW(reinterpret_cast<wchar_t *>(data)),
                                     &valueLength);
                AppendRegValue(text, nameText, type, data, size, valueText);
                std::free(valueText);
            }
            std::free(nameText);
            std::free(data);
        }
    }
    std::free(pathText);
    for (DWORD i = 0; i < subkeys; i++)
    {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        // The path grows as deep as the keys go: a deep key is never dropped for want of room.
        const size_t childLength = static_cast<size_t>(lstrlenW(path)) + 1 + nameLength + 1;
        wchar_t *childPath = static_cast<wchar_t *>(std::malloc(childLength * sizeof(wchar_t)));
        if (childPath != nullptr)
        {
            lstrcpyW(childPath, path);
            if (path[0] != L'\0')
                lstrcatW(childPath, L"\\");
            lstrcatW(childPath, name);
            keys += WriteTree(text, child, root, childPath, machine, classes);
        }
        std::free(childPath);
        RegCloseKey(child);
    }
    return keys;
}

// Copies every key and value below source into target (the user's classes).
static int CopyTree(HKEY source, HKEY target)
{
    int keys = 1;
    for (DWORD i = 0;; i++)
    {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(source, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        unsigned char *data = static_cast<unsigned char *>(std::malloc(size + 1));
        nameLength = 16384;
        if (data != nullptr && RegEnumValueW(source, i, name, &nameLength, nullptr, &type, data, &size) == ERROR_SUCCESS)
            RegSetValueExW(target, name, 0, type, data, size);
        std::free(data);
    }
    for (DWORD i = 0;; i++)
    {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(source, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY from = nullptr, to = nullptr;
        if (RegOpenKeyExW(source, name, 0, KEY_READ, &from) == ERROR_SUCCESS &&
            RegCreateKeyExW(target, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &to, nullptr) == ERROR_SUCCESS)
            keys += CopyTree(from, to);
        if (from != nullptr)
            RegCloseKey(from);
        if (to != nullptr)
            RegCloseKey(to);
    }
    return keys;
}

// /C: the machine part's classes go to the user's; every other key written there is named.
static void ApplyForCurrentUser(bool keep, RedirectOutcome *outcome)
{
    HKEY classes = nullptr;
    if (keep && RegOpenKeyExW(parts[1], L"Software\\Classes", 0, KEY_READ, &classes) == ERROR_SUCCESS)
    {
        outcome->keys = CopyTree(classes, userClasses) - 1;
        RegCloseKey(classes);
    }
    RegText others = {};
    outcome->notWritten = keep ? WriteTree(&others, parts[1], L"HKLM", L"", true, false) : 0;
    // The names of the keys, as the reader of .reg text gives them.
    outcome->notWrittenNames[0] = '\0';
    RegFile written = {};
    ReadRegFile(others.data != nullptr ? others.data : "", &written);
    for (int i = 0; i < written.keyCount; i++)
        AddToNameList(outcome->notWrittenNames, sizeof outcome->notWrittenNames, written.keys[i].path,
                      std::strlen(written.keys[i].path));
    FreeRegFile(&written);
    FreeText(&others);
    outcome->elevated = ProcessIsElevated();
    RegCloseKey(userClasses);
    userClasses = nullptr;
}

// Record: what the calls wrote, under the real roots, after a comment that names the component
// and the registry view it belongs to.
static void Record(const char *component, RedirectOutcome *outcome)
{
    RegText text = {};
    char comment[600];
    std::snprintf(comment, sizeof comment, "\r\n; %s (%s view: import with reg import file /reg:%s)\r\n", component,
                  sizeof(void *) == 8 ? "64-bit" : "32-bit", sizeof(void *) == 8 ? "64" : "32");
    AppendText(&text, comment);
    leftOutSink = outcome;
    for (int i = 0; i < 4; i++)
        outcome->keys += WriteTree(&text, parts[i], ROOT_NAMES[i], L"", i == 1);
    leftOutSink = nullptr;
    if (text.failed)
        FreeText(&text);
    outcome->recorded = text.data; // the caller's to free
}

void EndRedirect(int mode, bool keep, const char *component, RedirectOutcome *outcome)
{
    *outcome = RedirectOutcome{};
    for (HKEY root : ROOTS)
        RegOverridePredefKey(root, nullptr);
    if (mode == REDIRECT_CURRENT_USER)
        ApplyForCurrentUser(keep, outcome);
    else if (keep)
        Record(component, outcome);
    DropScratch();
}

void AddRecordedText(const char *text, size_t length)
{
    AppendBytes(&recording, text, length);
}

bool PrepareRecordFile(const char *path, uint32_t *error)
{
    wchar_t wide[MAX_PATH];
    *error = MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0 ||
                     GetFullPathNameW(wide, MAX_PATH, recordFile, nullptr) == 0
                 ? GetLastError()
                 : ProbeWritable(recordFile);
    return *error == 0;
}

bool WriteRecordFile(uint32_t *error)
{
    RegText whole = {};
    AppendText(&whole, REG_FILE_HEADER);
    if (recording.data != nullptr)
        AppendText(&whole, recording.data);
    const int count = whole.failed ? 0 : MultiByteToWideChar(CP_UTF8, 0, whole.data, -1, nullptr, 0);
    wchar_t *wide = count > 0 ? static_cast<wchar_t *>(std::malloc((static_cast<size_t>(count) + 1) * sizeof(wchar_t)))
                              : nullptr;
    if (wide == nullptr)
    {
        FreeText(&whole);
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    wide[0] = 0xFEFF; // UTF-16LE with its byte-order mark, as regedit writes and reg import reads
    MultiByteToWideChar(CP_UTF8, 0, whole.data, -1, wide + 1, count);
    FreeText(&whole);
    // The mark, and the text without its terminator.
    *error = WriteWholeFile(recordFile, wide, static_cast<uint32_t>(count) * sizeof(wchar_t));
    std::free(wide);
    return *error == 0;
}
