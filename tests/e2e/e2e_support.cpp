#include "e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

std::string BinFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string ProgramPath()
{
    return BinFolder() + "\\" TOLVANE_PROGRAM_NAME;
}

int ImageBits(const std::string &path)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return 0;
    unsigned char dos[0x40] = {};
    unsigned char header[6] = {};
    uint32_t peOffset = 0;
    bool read = std::fread(dos, 1, sizeof dos, file) == sizeof dos && dos[0] == 'M' && dos[1] == 'Z';
    if (read)
    {
        peOffset = dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | static_cast<uint32_t>(dos[0x3F]) << 24;
        read = std::fseek(file, static_cast<long>(peOffset), SEEK_SET) == 0 &&
               std::fread(header, 1, sizeof header, file) == sizeof header;
    }
    std::fclose(file);
    if (!read || std::memcmp(header, "PE\0\0", 4) != 0)
        return 0;
    switch (header[4] | header[5] << 8)
    {
    case IMAGE_FILE_MACHINE_I386:
        return 32;
    case IMAGE_FILE_MACHINE_AMD64:
        return 64;
    default:
        return 0;
    }
}

int ProgramBits()
{
    static const int bits = ImageBits(ProgramPath());
    return bits;
}

std::string TwinName(int programBits)
{
    return programBits == 64 ? "tolvane.exe" : programBits == 32 ? "tolvane64.exe" : "";
}

static void RemoveTree(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string MakeWorkFolder(const char *name)
{
    static int counter;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string root = std::string(temp) + "tolvane-e2e";
    CreateDirectoryA(root.c_str(), nullptr);
    std::string folder =
        root + "\\" + name + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string PlaceComponent(const char *component, const std::string &folder, const char *fileName)
{
    std::string target = folder + "\\" + fileName;
    CopyFileA((BinFolder() + "\\" + component + ".dll").c_str(), target.c_str(), FALSE);
    return target;
}

bool WriteTextFile(const std::string &path, const char *text)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::fputs(text, file);
    std::fclose(file);
    return true;
}

std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    FILE *file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return lines;
    char line[2048];
    while (std::fgets(line, sizeof line, file) != nullptr)
    {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        lines.push_back(text);
    }
    std::fclose(file);
    return lines;
}

// The system's one-line text for code; false when it has none.
static bool LookUpSystemText(uint32_t code, std::string *text)
{
    char buffer[1024] = "";
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (!FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer,
                        nullptr) ||
        buffer[0] == '\0')
        return false;
    *text = buffer;
    return true;
}

static std::string NoSystemText(uint32_t code)
{
    char sentence[128];
    std::snprintf(sentence, sizeof sentence, "The system has no message for error code 0x%08X.", code);
    return sentence;
}

std::string ReplaceAll(std::string text, const std::string &placeholder, const std::string &value)
{
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

std::string SystemText(uint32_t code, const std::string &path)
{
    std::string text;
    return LookUpSystemText(code, &text) ? ReplaceAll(text, "%1", path) : NoSystemText(code);
}

std::string SystemRowText(uint32_t code, const std::string &path)
{
    std::string text;
    if (!LookUpSystemText(code, &text))
        return NoSystemText(code);
    return ReplaceAll(text.size() >= 2 ? text.substr(0, text.size() - 2) : text, "%1", path);
}

DWORD LoadError(const std::string &path)
{
    SetLastError(0);
    HMODULE module = LoadLibraryA(path.c_str());
    DWORD error = GetLastError();
    if (module != nullptr)
    {
        FreeLibrary(module);
        return 0;
    }
    return error;
}

bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition())
    {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    return WaitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

static bool SamePixels(const Capture &a, const Capture &b)
{
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

Capture CaptureWhen(HWND window, const std::function<bool(const Capture &)> &ready, DWORD timeoutMs)
{
    Capture last = CaptureClient(window);
    DWORD start = GetTickCount();
    while (GetTickCount() - start <= timeoutMs)
    {
        Sleep(30);
        Capture next = CaptureClient(window);
        if (SamePixels(next, last) && !GetUpdateRect(window, nullptr, FALSE) && ready(next))
            return next;
        last = next;
    }
    return last;
}

ProgramRun::~ProgramRun()
{
    Dispose(program);
}

bool ProgramRun::Start(const std::string &arguments, const std::string &folder)
{
    return Start(Widen(arguments), folder);
}

bool ProgramRun::Start(const std::wstring &arguments, const std::string &folder, const std::string &programPath)
{
    Dispose(program);
    dialog = nullptr;
    return LaunchProgram(programPath, arguments, folder.empty() ? nullptr : folder.c_str(), &program);
}

bool ProgramRun::Open(const std::string &arguments, const std::string &folder, const char *title)
{
    if (!Start(arguments, folder))
        return false;
    dialog = WaitForDialog(title);
    return dialog != nullptr;
}

bool ProgramRun::Running() const
{
    return program.process != nullptr && WaitForSingleObject(program.process, 0) == WAIT_TIMEOUT;
}

std::vector<HWND> ProgramRun::Dialogs() const
{
    return DialogsOf(program.processId);
}

std::vector<HWND> ProgramRun::Others() const
{
    std::vector<HWND> others;
    for (HWND window : Dialogs())
        if (window != dialog)
            others.push_back(window);
    return others;
}

HWND ProgramRun::WaitForDialog(const char *title, const std::vector<HWND> &known, DWORD timeoutMs) const
{
    return WaitForDialogWhere(
        program.processId,
        [&](HWND window) {
            return (title == nullptr || WindowText(window) == title) &&
                   std::find(known.begin(), known.end(), window) == known.end();
        },
        timeoutMs);
}

HWND ProgramRun::WaitForOther(DWORD timeoutMs) const
{
    return WaitForDialog(nullptr, {dialog}, timeoutMs);
}

bool ProgramRun::WaitForExit(DWORD timeoutMs, DWORD *exitCode) const
{
    return ::WaitForExit(program, timeoutMs, exitCode);
}

bool ProgramRun::RunToEnd(std::vector<SeenDialog> *seen, DWORD *exitCode, const DialogAnswer &answer)
{
    // A dialog stays on the list once answered, so that one that takes a while to go is not answered twice.
    std::vector<HWND> answered = {dialog};
    DWORD start = GetTickCount();
    while (!WaitForExit(0, exitCode))
    {
        if (GetTickCount() - start > EXIT_WAIT_MS)
            return false;
        HWND shown = WaitForDialog(nullptr, answered, 100);
        if (shown == nullptr)
            continue;
        answered.push_back(shown);
        seen->push_back({WindowText(shown), MessageBoxText(shown)});
        if (answer)
            answer(shown);
        else
            PressButton(shown, IDOK);
    }
    return true;
}

RunResult RunProgram(const std::string &arguments, const std::string &folder, const DialogAnswer &answer)
{
    return RunProgram(Widen(arguments), folder, answer);
}

RunResult RunProgram(const std::wstring &arguments, const std::string &folder, const DialogAnswer &answer)
{
    return RunProgramAt(ProgramPath(), arguments, folder, answer);
}

RunResult RunProgramAt(const std::string &programPath, const std::wstring &arguments, const std::string &folder,
                       const DialogAnswer &answer)
{
    RunResult result = {false, false, 0, {}};
    ProgramRun run;
    result.started = run.Start(arguments, folder, programPath);
    if (result.started)
        result.exited = run.RunToEnd(&result.dialogs, &result.exitCode, answer);
    return result;
}

std::string ExportOffset(const std::string &path, const char *name)
{
    HMODULE module = LoadLibraryA(path.c_str());
    const uintptr_t site = reinterpret_cast<uintptr_t>(GetProcAddress(module, name));
    const uintptr_t offset = site - reinterpret_cast<uintptr_t>(module);
    if (module != nullptr)
        FreeLibrary(module);
    char text[32];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(offset));
    return site != 0 ? text : "";
}

// The log (/L): its lines as "<call>|<full path>|<code>|<text>", each checked for its six fields,
// a time of ISO 8601 in UTC and milliseconds in digits; headers as "#".
std::vector<std::string> LogLines(const std::string &path)
{
    std::vector<std::string> lines;
    for (const std::string &line : ReadLines(path))
    {
        if (line.rfind("# ", 0) == 0)
        {
            lines.push_back("#");
            continue;
        }
        std::vector<std::string> fields;
        for (size_t at = 0;;)
        {
            const size_t tab = line.find('\t', at);
            fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
            if (tab == std::string::npos)
                break;
            at = tab + 1;
        }
        EXPECT_EQ(fields.size(), 6u) << line;
        if (fields.size() != 6)
            continue;
        EXPECT_EQ(fields[0].size(), 24u) << fields[0];
        EXPECT_EQ(fields[0].back(), 'Z') << fields[0];
        EXPECT_EQ(fields[0][10], 'T') << fields[0];
        EXPECT_EQ(fields[5].find_first_not_of("0123456789"), std::string::npos) << fields[5];
        lines.push_back(fields[1] + "|" + fields[2] + "|" + fields[3] + "|" + fields[4]);
    }
    return lines;
}
