// The registration pipeline over a simulated platform: which rows it appends, what it loads
// and calls, and the run's exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/twin/twin.h"
#include "app/guard/call_state.h"
#include "app/options.h"

namespace
{

// What the simulated system knows about one file.
struct FakeFile
{
    uint32_t loadError; // non-zero: loading fails with this last-error value
    bool hasEntryPoints;
    int32_t result;           // what the entry points return
    uint32_t lastErrorSet;    // the last-error value the entry points leave
    uint32_t crashCode = 0;   // non-zero: the entry points crash with this exception
    uint16_t machine = 0;     // non-zero: its header is a valid image's for this machine
    bool twin = true;         // a twin runs for it
    uint32_t twinExit = 0;    // and its entry point answers this; a crash code: it crashed
    bool movesFolder = false; // the entry points change the current folder
    uint32_t endsProcess = 0; // non-zero: in a child run, the process ends with this code in its call
    bool hasInstall = false;  // it exports DllInstall
    int32_t installResult = 0; // what DllInstall returns
    bool typeLibrary = false;  // it is a type library: the loader refuses it (193), its bytes say "MSFT"
    bool lateCrash = false;    // a thread it leaves running crashes once it is unloaded
};

// The options a child run gets, after a blank each, less /S: " /U /I:text /N" as they apply.
std::string ModesText(const OptionList &options)
{
    std::string text;
    for (size_t i = 0; i < options.count; i++)
        if (std::string(options.values[i]) != "/S")
            text += std::string(" ") + options.values[i];
    return text;
}

struct FakeSystem
{
    std::map<std::string, FakeFile> files;        // by full path
    std::string folder;                           // current folder, no trailing backslash
    std::vector<std::string> events;              // "chdir X", "load X", "call X Name", "free X"
    std::vector<std::string> lookups;             // "<pattern> in <current folder>"
    std::map<std::string, std::string> longNames; // by the full path a pattern names
    uint32_t lastError;
    int loaded; // modules loaded and not yet freed
    int crashes;
    std::map<std::string, std::string> systemTexts; // by code in decimal
    std::vector<std::string> arguments;             // the run's arguments, for the simulated child runs
    bool restStarts = true;                         // a child run can be started
    std::vector<std::string> rowsAdded;             // "<path> <code>", as the row listener hears them
    std::vector<std::string> reports;               // "<call>|<full path>|<milliseconds>", the same
    uint32_t clock;                                 // advances by 5 ms each time it is read
    std::string windowNote;                         // what the watchdog answered, for the next row
    bool abandonInCall = false;                     // each call is abandoned while it runs
    uint32_t redirectError = 0;                     // the registry cannot be redirected: this error
    int recordedKeys = 3;                           // keys that a redirected registration wrote
    bool elevated = false;                          // the run is elevated
    uint32_t manifestError = 0;                     // a manifest cannot be written: this error
    std::string windowNoteInCall;                   // each call shows a window that the watchdog answers
    std::vector<uint32_t> limits;                   // the time limit each watched step was given
    std::string kept;                               // what /R recordings were kept for the record file
    bool leftOut = false;                           // the recording met a name a .reg file cannot hold
};

FakeSystem sys;

struct FakeModule
{
    std::string path;
    const FakeFile *file;
};
struct FakeEntry
{
    std::string path;
    std::string name;
    const FakeFile *file;
};
std::vector<FakeModule *> modules;
std::vector<FakeEntry *> entries;

// A file whose entry points crash: the crash, as the guard reports it.
bool Crashes(const FakeFile &file, EntryPointCrash *crash)
{
    if (file.crashCode == 0)
        return false;
    sys.crashes++;
    crash->exceptionCode = file.crashCode;
    std::strcpy(crash->moduleName, "crash.dll");
    crash->offset = 0x1a2b;
    return true;
}

std::string Resolve(const char *path)
{
    std::string p = path;
    if (p.size() >= 3 && p[1] == ':' && p[2] == '\\')
        return p;
    if (p.rfind(".\\", 0) == 0)
        p = p.substr(2);
    return sys.folder + "\\" + p;
}

// The simulated platform, each operation set by name: an operation added to PlatformOps later
// stays null here until a test needs it.
PlatformOps MakeFakeOps()
{
    PlatformOps ops = {};
    ops.system.findEntryName = [](const char *pattern, char *name, void *) {
        sys.lookups.push_back(std::string(pattern) + " in " + sys.folder);
        auto found = sys.longNames.find(Resolve(pattern));
        if (found == sys.longNames.end())
            return false;
        std::strcpy(name, found->second.c_str());
        return true;
    };
    ops.system.fileExists = [](const char *path) { return sys.files.count(path) != 0; };
    ops.system.fullPath = [](const char *path, char *out, size_t size) {
        std::string full = Resolve(path);
        if (full.find('|') != std::string::npos)
        {
            sys.lastError = 123; // as the system answers a name it cannot make a full path of
            return false;
        }
        if (full.size() + 1 > size)
            return false;
        std::strcpy(out, full.c_str());
        return true;
    };
    ops.system.currentFolder = [](char *out, size_t size) {
        if (sys.folder.size() + 1 > size)
            return false;
        std::strcpy(out, sys.folder.c_str());
        return true;
    };
    ops.system.changeFolder = [](const char *folder) {
        std::string f = folder;
        if (f.size() > 3 && f.back() == '\\')
            f.pop_back();
        sys.folder = f;
        sys.events.push_back("chdir " + f);
    };
    ops.system.loadModule = [](const char *path) -> void * {
        sys.events.push_back(std::string("load ") + path);
        // As the system's loader: a trailing dot is dropped, and a name without one gets ".dll".
        std::string name = path;
        if (!name.empty() && name.back() == '.')
            name.pop_back();
        else if (name.find('.', name.rfind('\\') + 1) == std::string::npos)
            name += ".dll";
        auto found = sys.files.find(name);
        if (found == sys.files.end())
        {
            sys.lastError = 126;
            return nullptr;
        }
        if (found->second.loadError != 0)
        {
            sys.lastError = found->second.loadError;
            return nullptr;
        }
        sys.lastError = 1008; // a stale value the load leaves behind
        sys.loaded++;
        modules.push_back(new FakeModule{name, &found->second});
        return modules.back();
    };
    ops.system.findEntryPoint = [](void *module, const char *name) -> void * {
        FakeModule *m = static_cast<FakeModule *>(module);
        if (!m->file->hasEntryPoints || (std::strcmp(name, "DllInstall") == 0 && !m->file->hasInstall))
            return nullptr;
        entries.push_back(new FakeEntry{m->path, name, m->file});
        return entries.back();
    };
    ops.system.callEntryPoint = [](void *entryPoint, int32_t *result, EntryPointCrash *crash) {
        FakeEntry *e = static_cast<FakeEntry *>(entryPoint);
        sys.events.push_back("call " + e->path + " " + e->name);
        if (Crashes(*e->file, crash))
            return false;
        if (e->file->lastErrorSet != 0)
            sys.lastError = e->file->lastErrorSet;
        // The watchdog, on its own thread, finds the call past its time limit while it runs.
        if (sys.abandonInCall)
        {
            RowReport pending = {};
            EXPECT_TRUE(PendingCall(&pending));
            sys.events.push_back(std::string("pending ") + pending.path + " " + pending.call);
            sys.events.push_back(AbandonCall(30) ? "abandoned" : "not abandoned");
        }
        if (!sys.windowNoteInCall.empty())
            sys.windowNote = sys.windowNoteInCall;
        if (e->file->movesFolder)
            sys.folder = "C:\\elsewhere";
        *result = e->file->result;
        return true;
    };
    ops.system.callInstall = [](void *entryPoint, bool install, const char *text, int32_t *result, EntryPointCrash *crash) {
        FakeEntry *e = static_cast<FakeEntry *>(entryPoint);
        sys.events.push_back("call " + e->path + " DllInstall(" + (install ? "TRUE" : "FALSE") + ", \"" + text + "\")");
        if (Crashes(*e->file, crash))
            return false;
        *result = e->file->installResult;
        return true;
    };
    ops.system.freeModule = [](void *module) {
        sys.events.push_back("free " + static_cast<FakeModule *>(module)->path);
        sys.loaded--;
        // As the batch-wide guard does: the thread is ended, the process poisoned, and the words kept.
        if (static_cast<FakeModule *>(module)->file->lateCrash)
        {
            MarkPoisoned();
            sys.windowNote = "A late thread crashed.";
        }
    };
    ops.system.setLastError = [](uint32_t value) { sys.lastError = value; };
    ops.system.lastError = []() { return sys.lastError; };
    ops.system.systemText = [](uint32_t code, char *text, size_t size) {
        auto found = sys.systemTexts.find(std::to_string(code));
        if (found == sys.systemTexts.end() || found->second.size() + 1 > size)
            return false;
        std::strcpy(text, found->second.c_str());
        return true;
    };
    ops.system.isLeadByte = [](unsigned char) { return false; };
    ops.system.readFileStart = [](const char *path, unsigned char *bytes, size_t size) -> size_t {
        auto found = sys.files.find(path);
        if (found != sys.files.end() && found->second.typeLibrary && size >= 8)
        {
            std::memcpy(bytes, "MSFT\2\0\1\0", 8);
            return 8;
        }
        if (found == sys.files.end() || found->second.machine == 0 || size < 0x100)
            return 0;
        // A PE image's headers: "MZ", the signature at 0x40, the file header, a PE32 optional header.
        std::memset(bytes, 0, 0x100);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[0x3C] = 0x40;
        std::memcpy(bytes + 0x40, "PE\0\0", 4);
        bytes[0x44] = static_cast<unsigned char>(found->second.machine);
        bytes[0x45] = static_cast<unsigned char>(found->second.machine >> 8);
        bytes[0x54] = 0xE0;
        bytes[0x56] = 0x02;
        bytes[0x57] = 0x21;
        bytes[0x58] = 0x0B;
        bytes[0x59] = 0x01;
        return 0x100;
    };
    ops.typeLibrary.registerTypeLibrary = [](const char *path, bool unregister, int32_t *result,
                                             EntryPointCrash *crash) {
        sys.events.push_back(std::string("typelib ") + path + (unregister ? " /U" : ""));
        if (sys.files.at(path).crashCode != 0) // the system faults on a damaged library; nothing is loaded
        {
            crash->exceptionCode = sys.files.at(path).crashCode;
            std::strcpy(crash->moduleName, "oleaut32.dll");
            return true;
        }
        *result = sys.files.at(path).result;
        return true;
    };
    ops.child.runTwin = [](const char *path, const OptionList &modes, ChildRowSink sink, void *context, ChildEnd *end) {
        const bool unregister = ModesText(modes).find(" /U") != std::string::npos;
        sys.events.push_back(std::string("twin ") + path + ModesText(modes));
        const FakeFile &file = sys.files.at(path);
        if (!file.twin)
            return false;
        end->exitCode = file.twinExit;
        // The twin's own row; a twin that ends the process in the call reports none.
        if (file.endsProcess != 0)
        {
            end->exitCode = file.endsProcess;
            return true;
        }
        // The twin marks where the explanation of a failure begins (a record has no field for it).
        const std::string text = file.twinExit == 0 ? (unregister ? "Unregistered successfully" : "Registered successfully")
                                 : file.twinExit == 5 ? "Access denied.\x1E" "Run it as administrator."
                                                               : "twin " + std::to_string(file.twinExit);
        sink(RowReport{path, text.c_str(), static_cast<int32_t>(file.twinExit),
                      file.twinExit == 0 ? ROW_BY_CODE : ROW_OWN_TEXT, true, static_cast<int32_t>(file.twinExit), path,
                      "twin call", 42},
             context);
        end->reported = true;
        return true;
    };
    // A child run of the rest: each component gets a row "child" with its file's result, until one
    // crashes (its row, then the end record) or ends the process (no row, no end record).
    ops.child.runRest = [](int first, const OptionList &modes, const char *folder, ChildRowSink sink, void *context,
                     ChildEnd *end) {
        sys.events.push_back("rest " + std::to_string(first) + ModesText(modes) + " from " + folder);
        if (!sys.restStarts)
        {
            end->startError = 5;
            return false;
        }
        for (size_t i = static_cast<size_t>(first); i < sys.arguments.size(); i++)
        {
            const std::string &argument = sys.arguments[i];
            if (argument.rfind("/*", 0) == 0) // a pattern's summary: its row, and no call
                sink(RowReport{argument.c_str(), "summary", 0, ROW_DONE_TEXT, false, 0, argument.c_str(), "", 42},
                     context);
            if (argument[0] == '/')
                continue;
            // The child starts in the run's start folder.
            const std::string full = argument.size() > 1 && argument[1] == ':' ? argument : std::string(folder) + "\\" + argument;
            auto found = sys.files.find(full);
            const FakeFile *file = found != sys.files.end() ? &found->second : nullptr;
            if (file != nullptr && file->endsProcess != 0)
            {
                end->exitCode = file->endsProcess;
                return true;
            }
            const int32_t code = file == nullptr ? -2 : file->crashCode != 0 ? static_cast<int32_t>(file->crashCode) : file->result;
            sink(RowReport{argument.c_str(), "child", code, ROW_OWN_TEXT, file != nullptr, code, full.c_str(),
                          "child call", 42},
                 context);
            if (file != nullptr && file->crashCode != 0)
                break;
        }
        end->reported = true;
        return true;
    };
    ops.system.rowAdded = [](const RowReport &row) {
        sys.rowsAdded.push_back(std::string(row.path) + " " + std::to_string(row.code));
        sys.reports.push_back(std::string(row.call) + "|" + row.fullPath + "|" + std::to_string(row.milliseconds));
    };
    ops.system.milliseconds = []() -> uint32_t { return sys.clock += 5; };
    ops.system.takeWindowNote = [](char *text, size_t size) {
        if (sys.windowNote.empty())
            return false;
        std::snprintf(text, size, "%s", sys.windowNote.c_str());
        sys.windowNote.clear();
        return true;
    };
    ops.system.waitForever = []() { sys.events.push_back("waiting for ever"); };
    ops.registry.begin = [](int mode, uint32_t *error) {
        sys.events.push_back(std::string("redirect ") + (mode == REDIRECT_RECORD ? "record" : "user"));
        *error = sys.redirectError;
        return sys.redirectError == 0;
    };
    ops.registry.end = [](int mode, bool keep, const char *component, RedirectOutcome *outcome) {
        sys.events.push_back(std::string("restore ") + (keep ? "keep " : "drop ") + component);
        sys.lastError = 1018; // the registry calls leave a value of their own: the row never reads it
        *outcome = RedirectOutcome{};
        outcome->keys = keep ? sys.recordedKeys : 0;
        if (mode == REDIRECT_CURRENT_USER && keep)
        {
            outcome->notWritten = 1;
            std::strcpy(outcome->notWrittenNames, "HKLM\\Software\\Vendor");
        }
        outcome->elevated = sys.elevated;
        if (mode == REDIRECT_RECORD && keep && sys.leftOut)
        {
            outcome->leftOut = 1;
            std::strcpy(outcome->leftOutNames, "HKLM\\Software\\A?B");
        }
        // One class of the component's, as a recording names it.
        const std::string recorded = std::string("\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\r\n@=\"") +
                                     component + "\"\r\n";
        if (mode == REDIRECT_RECORD && keep)
            outcome->recorded = strdup(recorded.c_str());
    };
    ops.manifest.describeFile = [](const char *fullPath, char *utf8Name, size_t size, uint16_t version[4]) {
        std::snprintf(utf8Name, size, "%s", FileNamePart(fullPath, NoLeadBytes));
        version[0] = 1;
        version[1] = version[2] = version[3] = 0;
    };
    ops.manifest.write = [](const char *path, const char *, size_t, uint32_t *error) {
        sys.events.push_back(std::string("manifest ") + path);
        *error = sys.manifestError;
        return sys.manifestError == 0;
    };
    ops.manifest.check = [](const char *path, const char *folder, bool load, const ManifestSummary &,
                           ManifestCheck *check, EntryPointCrash *) {
        sys.events.push_back(std::string("check ") + path + " in " + folder + (load ? " load" : " find"));
        *check = ManifestCheck{};
        return true;
    };
    ops.system.programMachine = MACHINE_I386;
    ops.system.watchStep = [](bool running, uint32_t limitSeconds) {
        if (running)
            sys.limits.push_back(limitSeconds);
    };
    ops.registry.keepRecording = [](const char *text, size_t length) { sys.kept.append(text, length); };
    // /V: a registry that holds none of what the recording names.
    ops.verify.keyExists = [](const char *, int) { return false; };
    ops.verify.readValue = [](const char *, const char *, int, uint32_t *, unsigned char *, size_t *) { return false; };
    return ops;
}

const PlatformOps FAKE_OPS = MakeFakeOps();

class BatchTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        sys = FakeSystem();
        sys.folder = "C:\\start";
        sys.files["C:\\c\\ok.dll"] = {0, true, 0, 0};
        sys.files["C:\\c\\ok2.ocx"] = {0, true, 0, 0};
        sys.files["C:\\start\\ok.dll"] = {0, true, 0, 0};
        sys.files["C:\\start\\sub\\ok.dll"] = {0, true, 0, 0};
        sys.files["C:\\c\\bad.dll"] = {193, false, 0, 0};
        sys.files["C:\\c\\timeout.dll"] = {1460, false, 0, 0};
        sys.files["C:\\c\\noentry.dll"] = {0, false, 0, 0};
        sys.files["C:\\c\\fail5.dll"] = {0, true, static_cast<int32_t>(0x80070005), 5};
        sys.files["C:\\c\\fail0.dll"] = {0, true, static_cast<int32_t>(0x80040154), 0};
        sys.files["C:\\c\\odd.dll"] = {0, true, 1, 0};
        sys.files["C:\\c\\minus1.dll"] = {0, true, -1, 0};
        sys.files["C:\\c\\minus2.dll"] = {0, true, -2, 0};
        sys.files["C:\\c\\crash.dll"] = {0, true, 0, 0, 0xC0000005};
        sys.files["C:\\c\\grid"] = {0, true, static_cast<int32_t>(0x80070005), 5};
        sys.files["C:\\c\\grid.dll"] = {0, true, 0, 0};
        sys.files["C:\\ok.dll"] = {0, true, 0, 0};
        sys.files["C:\\start\\CON"] = {0, true, 0, 0};
        sys.files["C:\\c\\nul.dll"] = {0, true, 0, 0};
        sys.files["C:\\c\\ends.dll"] = {0, true, 0, 0};
        sys.files["C:\\c\\ends.dll"].endsProcess = 7;
        sys.files["C:\\c\\late.dll"] = {0, true, 0, 0};
        sys.files["C:\\c\\late.dll"].lateCrash = true; // a thread it leaves running crashes
        // Components with DllInstall, and type libraries.
        sys.files["C:\\c\\inst.dll"] = {0, true, 0, 0};
        sys.files["C:\\c\\inst.dll"].hasInstall = true;
        sys.files["C:\\c\\instfail.dll"] = sys.files["C:\\c\\inst.dll"];
        sys.files["C:\\c\\instfail.dll"].installResult = static_cast<int32_t>(0x80070005);
        sys.files["C:\\c\\fail5i.dll"] = sys.files["C:\\c\\fail5.dll"];
        sys.files["C:\\c\\fail5i.dll"].hasInstall = true;
        sys.files["C:\\c\\lib.tlb"] = {193, false, 0, 0};
        sys.files["C:\\c\\lib.tlb"].typeLibrary = true;
        sys.files["C:\\c\\denied.tlb"] = {193, false, static_cast<int32_t>(0x8002801C), 0};
        sys.files["C:\\c\\denied.tlb"].typeLibrary = true;
        sys.files["C:\\c\\broken.tlb"] = sys.files["C:\\c\\lib.tlb"];
        sys.files["C:\\c\\broken.tlb"].crashCode = 0x80000003;
        // Images the loader refuses (193) because they are for another machine.
        sys.files["C:\\c\\x64.dll"] = {193, false, 0, 0, 0, MACHINE_AMD64};
        sys.files["C:\\c\\x64fail.dll"] = {193, false, 0, 0, 0, MACHINE_AMD64, true, 0x80070005};
        sys.files["C:\\c\\x64ends.dll"] = {193, false, 0, 0, 0, MACHINE_AMD64, true, 0, false, 0xC0000005};
        sys.files["C:\\c\\x64alone.dll"] = {193, false, 0, 0, 0, MACHINE_AMD64, false};
        sys.files["C:\\c\\x64denied.dll"] = {193, false, 0, 0, 0, MACHINE_AMD64, true, 5};
        sys.files["C:\\c\\arm64.dll"] = {193, false, 0, 0, 0, 0xAA64};
        sys.files["C:\\c\\x86bad.dll"] = {193, false, 0, 0, 0, MACHINE_I386};
        // Short names, by the full path they name.
        sys.longNames["C:\\start\\sub"] = "sub";
        sys.longNames["C:\\start\\sub\\OK~1.DLL"] = "ok.dll";
        sys.longNames["C:\\c"] = "c";
        sys.longNames["C:\\c\\OK2~1.OCX"] = "ok2.ocx";
        sys.systemTexts["5"] = "Access denied. ";
        sys.systemTexts["193"] = "Bad EXE format for %1. ";
        sys.systemTexts["206"] = "The filename or extension is too long. ";
        unregisterMode = 0;
        silentMode = 0;
        childRun = 0;
    }
    void TearDown() override
    {
        EXPECT_EQ(sys.loaded, sys.crashes) << "every loaded component is unloaded, unless it crashed";
        for (FakeModule *m : modules)
            delete m;
        for (FakeEntry *e : entries)
            delete e;
        modules.clear();
        entries.clear();
    }
    void Run(std::vector<const char *> arguments, const PlatformOps &ops = FAKE_OPS)
    {
        arguments.insert(arguments.begin(), "tolvane.exe");
        sys.arguments.assign(arguments.begin(), arguments.end());
        char **argv = const_cast<char **>(arguments.data());
        const int argc = static_cast<int>(arguments.size());
        RunBatch(argc, argv, nullptr, ScanRunWideOptions(argc, argv, nullptr), ops);
    }
    // lossy[i]: the code page could not hold argument i (0 is the program).
    void RunLossy(std::vector<const char *> arguments, std::vector<int> lossy)
    {
        arguments.insert(arguments.begin(), "tolvane.exe");
        bool flags[16] = {};
        for (int i : lossy)
            flags[i] = true;
        RunBatch(static_cast<int>(arguments.size()), const_cast<char **>(arguments.data()), flags, RunWideOptions{},
                 FAKE_OPS);
    }
};

struct RowCase
{
    std::vector<const char *> arguments;
    const char *path;
    const char *text;
    int32_t code;
    int32_t exitCode;
    RowKind kind = ROW_BY_CODE;
};

TEST_F(BatchTest, EachOutcomeEndsInItsRow)
{
    const RowCase cases[] = {
        {{"C:\\c\\ok.dll"}, "C:\\c\\ok.dll", "Registered successfully", 0, 0},
        {{"/u", "C:\\c\\ok.dll"}, "C:\\c\\ok.dll", "Unregistered successfully", 0, 0},
        {{"C:\\c\\none.dll"},
         "C:\\c\\none.dll",
         "The component 'C:\\c\\none.dll' could not found on this computer.",
         -2,
         -2},
        {{"C:\\c\\noentry.dll"}, "C:\\c\\noentry.dll", "DllRegisterServer entry point not found", -1, -1},
        {{"-U", "C:\\c\\noentry.dll"}, "C:\\c\\noentry.dll", "DllUnregisterServer entry point not found", -1, -1},
        {{"C:\\c\\fail5.dll"}, "C:\\c\\fail5.dll", "Access denied", 5, static_cast<int32_t>(0x80070005), ROW_CALLED},
        // A failing entry point that leaves the last-error value at 0 keeps its own result.
        {{"C:\\c\\fail0.dll"},
         "C:\\c\\fail0.dll",
         "The system has no message for error code 0x80040154.",
         static_cast<int32_t>(0x80040154),
         static_cast<int32_t>(0x80040154),
         ROW_CALLED},
        {{"C:\\c\\odd.dll"},
         "C:\\c\\odd.dll",
         "The system has no message for error code 0x00000001.",
         1,
         1,
         ROW_CALLED},
        // Called entry points that answer -1 or -2 are not "no entry point" or "not found" rows.
        {{"C:\\c\\minus1.dll"},
         "C:\\c\\minus1.dll",
         "The system has no message for error code 0xFFFFFFFF.",
         -1,
         -1,
         ROW_CALLED},
        {{"C:\\c\\minus2.dll"},
         "C:\\c\\minus2.dll",
         "The system has no message for error code 0xFFFFFFFE.",
         -2,
         -2,
         ROW_CALLED},
        // A crash ends the call with the exception code, and the component stays loaded.
        {{"C:\\c\\crash.dll"},
         "C:\\c\\crash.dll",
         "The component crashed: access violation (0xC0000005) at crash.dll+0x1a2b",
         static_cast<int32_t>(0xC0000005),
         static_cast<int32_t>(0xC0000005),
         ROW_OWN_TEXT},
        // A name without an extension loads exactly that file, never the .dll beside it.
        {{"C:\\c\\grid"}, "C:\\c\\grid", "Access denied", 5, static_cast<int32_t>(0x80070005), ROW_CALLED},
        {{"C:\\c\\grid.dll"}, "C:\\c\\grid.dll", "Registered successfully", 0, 0},
        // A component of the other bitness: the twin's row, as it reports it, with its result.
        {{"C:\\c\\x64.dll"}, "C:\\c\\x64.dll", "Registered successfully", 0, 0},
        {{"/U", "C:\\c\\x64.dll"}, "C:\\c\\x64.dll", "Unregistered successfully", 0, 0},
        {{"C:\\c\\x64fail.dll"},
         "C:\\c\\x64fail.dll",
         "twin 2147942405",
         static_cast<int32_t>(0x80070005),
         static_cast<int32_t>(0x80070005),
         ROW_OWN_TEXT},
        // A twin that ends before it reports: its exit code, and words that say so.
        {{"C:\\c\\x64ends.dll"},
         "C:\\c\\x64ends.dll",
         "The TolVane process that handled this component ended before it reported the outcome, with exit code "
         "0xC0000005: the component ended it, or crashed beyond recovery.",
         static_cast<int32_t>(0xC0000005),
         static_cast<int32_t>(0xC0000005),
         ROW_OWN_TEXT},
        {{"C:\\c\\x64alone.dll"},
         "C:\\c\\x64alone.dll",
         "This is a 64-bit component; tolvane64.exe beside this program registers it.",
         193,
         193,
         ROW_OWN_TEXT},
        {{"C:\\c\\arm64.dll"},
         "C:\\c\\arm64.dll",
         "This component is built for ARM64 Windows, which TolVane cannot load.",
         193,
         193,
         ROW_OWN_TEXT},
        // An image of this program's own machine that still does not load keeps the loader's words.
        {{"C:\\c\\x86bad.dll"}, "C:\\c\\x86bad.dll", "Bad EXE format for C:\\c\\x86bad.dll", 193, 193},
        // The system's "%1" names the component.
        {{"C:\\c\\bad.dll"}, "C:\\c\\bad.dll", "Bad EXE format for C:\\c\\bad.dll", 193, 193},
        // A load that fails with the code an abandoned step gives keeps its row.
        {{"C:\\c\\timeout.dll"}, "C:\\c\\timeout.dll", "The system has no message for error code 0x000005B4.", 1460, 1460},
        {{"ok.dll"}, "ok.dll", "Registered successfully", 0, 0},
        {{""}, "", "The component '' could not found on this computer.", -2, -2},
        // A blank name names nothing; a name the system makes no full path of gets the system's reason.
        {{"   "}, "   ", "The component '   ' could not found on this computer.", -2, -2},
        {{"C:\\c\\a|b.dll"}, "C:\\c\\a|b.dll", "The system has no message for error code 0x0000007B.", 123, 123},
        // Devices are not components, even where the system says that they exist.
        {{"CON"}, "CON", "The component 'CON' could not found on this computer.", -2, -2},
        {{"C:\\c\\nul.dll"}, "C:\\c\\nul.dll", "The component 'C:\\c\\nul.dll' could not found on this computer.", -2,
         -2},
    };
    for (const RowCase &c : cases)
    {
        SetUp();
        SCOPED_TRACE(c.arguments.back());
        Run(c.arguments);
        ASSERT_EQ(resultsTable.rowCount, 1);
        const ResultEntry &row = resultsTable.rows[0];
        EXPECT_STREQ(row.componentPath, c.path);
        EXPECT_STREQ(row.resultText, c.text);
        EXPECT_EQ(row.resultCode, c.code);
        EXPECT_EQ(row.kind, c.kind);
        EXPECT_EQ(BatchExitValue(), c.exitCode);
    }
}

TEST_F(BatchTest, PipelineDoesEachStepOnceAndUnloads)
{
    Run({"C:\\c\\ok.dll", "C:\\c\\noentry.dll", "C:\\c\\none.dll", "C:\\c\\bad.dll"});
    // The folder is changed only when it is not the current one already.
    const std::vector<std::string> expected = {
        "chdir C:\\c",         "load C:\\c\\ok.dll",      "call C:\\c\\ok.dll DllRegisterServer",
        "free C:\\c\\ok.dll",  "load C:\\c\\noentry.dll", "free C:\\c\\noentry.dll",
        "load C:\\c\\bad.dll",
    };
    EXPECT_EQ(sys.events, expected);
}

TEST_F(BatchTest, FolderIsAskedAnewAsAComponentMayHaveMovedIt)
{
    sys.files["C:\\c\\mover.dll"] = {0, true, 0, 0};
    sys.files["C:\\c\\mover.dll"].movesFolder = true;
    Run({"C:\\c\\mover.dll", "C:\\c\\ok.dll", "C:\\ok.dll"});
    std::vector<std::string> changes;
    for (const std::string &e : sys.events)
        if (e.rfind("chdir ", 0) == 0)
            changes.push_back(e);
    EXPECT_EQ(changes, (std::vector<std::string>{"chdir C:\\c", "chdir C:\\c", "chdir C:\\"}));
}

TEST_F(BatchTest, RelativeNameIsTakenFromTheStartEvenAfterAComponentMovedTheFolderItself)
{
    sys.files["C:\\start\\mover.dll"] = {0, true, 0, 0};
    sys.files["C:\\start\\mover.dll"].movesFolder = true;
    sys.files["C:\\elsewhere\\ok.dll"] = {0, true, 0, 0};
    Run({"mover.dll", "ok.dll", ".\\ok.dll"});
    std::vector<std::string> loads;
    for (const std::string &e : sys.events)
        if (e.rfind("load ", 0) == 0 || e.rfind("chdir ", 0) == 0)
            loads.push_back(e);
    EXPECT_EQ(loads, (std::vector<std::string>{"load C:\\start\\mover.dll", "chdir C:\\start", "load C:\\start\\ok.dll",
                                               "load C:\\start\\ok.dll"}));
}

TEST_F(BatchTest, CrashEndsOnlyItsOwnCallAndTheRunGoesOn)
{
    Run({"C:\\c\\fail5.dll", "C:\\c\\crash.dll", "C:\\c\\ok.dll", "C:\\c\\crash.dll"});
    ASSERT_EQ(resultsTable.rowCount, 4);
    EXPECT_EQ(resultsTable.rows[1].resultCode, static_cast<int32_t>(0xC0000005));
    EXPECT_EQ(resultsTable.rows[2].resultCode, 0);
    EXPECT_EQ(BatchExitValue(), static_cast<int32_t>(0xC0000005)) << "the last call's result is its exception";
    for (const std::string &e : sys.events)
        EXPECT_NE(e, "free C:\\c\\crash.dll") << "a crashed component is never unloaded";
}

struct RestCase
{
    std::vector<const char *> arguments;
    std::vector<std::string> rests; // the child runs started: "rest <first argument> [/U] from <folder>"
    std::vector<std::string> rows;  // "<path>|<text>|<code>"
    int32_t exitCode;
    int unregister = 0;
    bool restStarts = true;
    int childRun = 0;
};

TEST_F(BatchTest, AfterACrashTheRestRunsInFreshProcessesAndNoComponentIsLost)
{
    const std::string crashed = "The component crashed: access violation (0xC0000005) at crash.dll+0x1a2b|-1073741819";
    const std::string ended = "The TolVane process that handled this component ended before it reported the outcome, "
                              "with exit code 0x00000007: the component ended it, or crashed beyond recovery.|7";
    const std::string notStarted = "An earlier component crashed, so TolVane registers the rest in a new process, "
                                   "which could not be started: Access denied.|5";
    const RestCase cases[] = {
        {{"C:\\c\\crash.dll", "C:\\c\\ok.dll"},
         {"rest 2 from C:\\start"},
         {"C:\\c\\crash.dll|" + crashed, "C:\\c\\ok.dll|child|0"},
         0},
        // The child gets the mode as it stands; the options it passes reach this run's flags too.
        {{"C:\\c\\crash.dll", "/U", "C:\\c\\ok.dll", "/S"},
         {"rest 3 /U from C:\\start"},
         {"C:\\c\\crash.dll|" + crashed, "C:\\c\\ok.dll|child|0"},
         0,
         1},
        // A crash in a child: the next child starts after it.
        {{"C:\\c\\crash.dll", "C:\\c\\ok.dll", "C:\\c\\crash.dll", "/u", "C:\\c\\fail5.dll", "ok.dll"},
         {"rest 2 from C:\\start", "rest 5 /U from C:\\start"},
         {"C:\\c\\crash.dll|" + crashed, "C:\\c\\ok.dll|child|0", "C:\\c\\crash.dll|child|-1073741819",
          "C:\\c\\fail5.dll|child|-2147024891", "ok.dll|child|0"},
         0,
         1},
        // A child that ends without a word ended in its next component, which gets a row for it.
        {{"C:\\c\\crash.dll", "C:\\c\\ends.dll", "C:\\c\\ok.dll"},
         {"rest 2 from C:\\start", "rest 3 from C:\\start"},
         {"C:\\c\\crash.dll|" + crashed, "C:\\c\\ends.dll|" + ended, "C:\\c\\ok.dll|child|0"},
         0},
        {{"C:\\c\\crash.dll", "C:\\c\\ok.dll", "C:\\c\\ends.dll", "/S"},
         {"rest 2 from C:\\start"},
         {"C:\\c\\crash.dll|" + crashed, "C:\\c\\ok.dll|child|0", "C:\\c\\ends.dll|" + ended},
         7},
        // No child can be started: every component left gets a row that says why.
        {{"C:\\c\\crash.dll", "C:\\c\\ok.dll", "/U", "none.dll"},
         {"rest 2 from C:\\start"},
         {"C:\\c\\crash.dll|" + crashed, "C:\\c\\ok.dll|" + notStarted, "none.dll|" + notStarted},
         static_cast<int32_t>(0xC0000005),
         1,
         false},
        // A run that is itself a child stops at the crash: the first process goes on.
        {{"C:\\c\\crash.dll", "C:\\c\\ok.dll"}, {}, {"C:\\c\\crash.dll|" + crashed}, static_cast<int32_t>(0xC0000005), 0,
         true, 1},
        // A pattern's summary in the rest makes one row in the child, and counts as one: nothing is
        // run twice or lost; without a child, its row needs none.
        {{"C:\\c\\crash.dll", "/*matched:2:0:C:\\c\\*", "C:\\c\\ok.dll", "C:\\c\\crash.dll", "C:\\c\\ok2.ocx"},
         {"rest 2 from C:\\start", "rest 5 from C:\\start"},
         {"C:\\c\\crash.dll|" + crashed, "/*matched:2:0:C:\\c\\*|summary|0", "C:\\c\\ok.dll|child|0",
          "C:\\c\\crash.dll|child|-1073741819", "C:\\c\\ok2.ocx|child|0"},
         0},
        {{"C:\\c\\crash.dll", "/*matched:1:3:C:\\c\\*.dll", "C:\\c\\ok.dll"},
         {"rest 2 from C:\\start"},
         {"C:\\c\\crash.dll|" + crashed, "C:\\c\\*.dll|1 component; 3 other files skipped (not self-registering)|0",
          "C:\\c\\ok.dll|" + notStarted},
         static_cast<int32_t>(0xC0000005),
         0,
         false},
        // A thread that a component leaves running crashes after its row: the next row says so.
        {{"C:\\c\\late.dll", "C:\\c\\ok.dll"},
         {"rest 2 from C:\\start"},
         {"C:\\c\\late.dll|Registered successfully|0", "C:\\c\\ok.dll|child. A late thread crashed.|0"},
         0},
        // Nothing after the crash but options: no child.
        {{"C:\\c\\crash.dll", "/U"}, {}, {"C:\\c\\crash.dll|" + crashed}, static_cast<int32_t>(0xC0000005), 1},
    };
    for (const RestCase &c : cases)
    {
        SetUp();
        SCOPED_TRACE(c.arguments.size());
        sys.restStarts = c.restStarts;
        childRun = c.childRun;
        Run(c.arguments);
        std::vector<std::string> rests;
        for (const std::string &e : sys.events)
            if (e.rfind("rest ", 0) == 0)
                rests.push_back(e);
        EXPECT_EQ(rests, c.rests);
        std::vector<std::string> rows;
        for (int i = 0; i < resultsTable.rowCount; i++)
        {
            const ResultEntry &row = resultsTable.rows[i];
            rows.push_back(std::string(row.componentPath) + "|" + row.resultText + "|" + std::to_string(row.resultCode));
        }
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(BatchExitValue(), c.exitCode);
        EXPECT_EQ(unregisterMode, c.unregister);
        EXPECT_EQ(sys.rowsAdded.size(), rows.size()) << "every row is told, a child's too";
        int loads = 0;
        for (const std::string &e : sys.events)
            loads += e.rfind("load ", 0) == 0;
        EXPECT_EQ(loads, 1) << "nothing after the crash is loaded in the crashed process";
    }
}

struct InstallCase
{
    std::vector<const char *> arguments;
    std::vector<std::string> calls; // the calls made, in order, and the hand-offs
    const char *text;
    int32_t code;
    int32_t exitCode;
};

TEST_F(BatchTest, InstallOptionsCallDllInstallInTheirOrderAndTypeLibrariesRegisterAsSuch)
{
    const std::string inst = "call C:\\c\\inst.dll ";
    const InstallCase cases[] = {
        {{"/I:user", "C:\\c\\inst.dll"},
         {inst + "DllRegisterServer", inst + "DllInstall(TRUE, \"user\")"},
         "Registered successfully",
         0,
         0},
        // Unregistering undoes it in the reverse order.
        {{"/U", "/i:user", "C:\\c\\inst.dll"},
         {inst + "DllInstall(FALSE, \"user\")", inst + "DllUnregisterServer"},
         "Unregistered successfully",
         0,
         0},
        {{"/N", "/I:user", "C:\\c\\inst.dll"}, {inst + "DllInstall(TRUE, \"user\")"}, "Registered successfully", 0, 0},
        // /N alone asks for nothing: nothing is loaded.
        {{"/N", "C:\\c\\inst.dll"},
         {},
         "Nothing was done: /N leaves out DllRegisterServer, and no /I asks for DllInstall, so no call was asked for "
         "this component.",
         87,
         87},
        // Every entry point is found before any is called.
        {{"/I", "C:\\c\\ok.dll"}, {}, "DllInstall entry point not found", -1, -1},
        // A failing call stops the component, and its row names the call.
        {{"/I", "C:\\c\\instfail.dll"},
         {"call C:\\c\\instfail.dll DllRegisterServer", "call C:\\c\\instfail.dll DllInstall(TRUE, \"\")"},
         "DllInstall failed: The system has no message for error code 0x80070005.",
         static_cast<int32_t>(0x80070005),
         static_cast<int32_t>(0x80070005)},
        {{"/U", "/I", "C:\\c\\instfail.dll"},
         {"call C:\\c\\instfail.dll DllInstall(FALSE, \"\")"},
         "DllInstall failed: The system has no message for error code 0x80070005.",
         static_cast<int32_t>(0x80070005),
         static_cast<int32_t>(0x80070005)},
        {{"/I", "C:\\c\\fail5i.dll"},
         {"call C:\\c\\fail5i.dll DllRegisterServer"},
         "DllRegisterServer failed: Access denied",
         5,
         static_cast<int32_t>(0x80070005)},
        // A type library.
        {{"C:\\c\\lib.tlb"}, {"typelib C:\\c\\lib.tlb"}, "Registered successfully", 0, 0},
        {{"/U", "C:\\c\\lib.tlb"}, {"typelib C:\\c\\lib.tlb /U"}, "Unregistered successfully", 0, 0},
        {{"C:\\c\\denied.tlb"},
         {"typelib C:\\c\\denied.tlb"},
         "The system has no message for error code 0x8002801C.",
         static_cast<int32_t>(0x8002801C),
         static_cast<int32_t>(0x8002801C)},
        {{"/I:user", "C:\\c\\lib.tlb"}, {}, "DllInstall entry point not found", -1, -1},
        // A damaged library that makes the system fault costs its own row, as a crash does.
        {{"C:\\c\\broken.tlb"},
         {"typelib C:\\c\\broken.tlb"},
         "The component crashed: breakpoint (0x80000003) at oleaut32.dll+0x0",
         static_cast<int32_t>(0x80000003),
         static_cast<int32_t>(0x80000003)},
        // The twin and the rest of a batch start in the same modes.
        {{"/I:user", "/N", "C:\\c\\x64.dll"}, {"twin C:\\c\\x64.dll /I:user /N"}, "Registered successfully", 0, 0},
        {{"/M:out", "C:\\c\\x64.dll"}, {"twin C:\\c\\x64.dll /M:C:\\start\\out"}, "Registered successfully", 0, 0},
        {{"C:\\c\\crash.dll", "/I:x", "/U", "C:\\c\\ok.dll"},
         {"call C:\\c\\crash.dll DllRegisterServer", "rest 4 /U /I:x from C:\\start"},
         "child",
         0,
         0},
    };
    for (const InstallCase &c : cases)
    {
        SetUp();
        SCOPED_TRACE(c.arguments.back());
        Run(c.arguments);
        std::vector<std::string> calls;
        for (const std::string &e : sys.events)
            if (e.rfind("call ", 0) == 0 || e.rfind("typelib ", 0) == 0 || e.rfind("twin ", 0) == 0 ||
                e.rfind("rest ", 0) == 0)
                calls.push_back(e);
        EXPECT_EQ(calls, c.calls);
        for (const std::string &e : sys.events)
        {
            if (c.code == 87)
            {
                EXPECT_NE(e.rfind("load ", 0), 0u) << "nothing is loaded when nothing is asked: " << e;
            }
        }
        ASSERT_GE(resultsTable.rowCount, 1);
        const ResultEntry &row = resultsTable.rows[resultsTable.rowCount - 1];
        EXPECT_STREQ(row.resultText, c.text);
        EXPECT_EQ(row.resultCode, c.code);
        EXPECT_EQ(BatchExitValue(), c.exitCode);
    }
}

struct RedirectCase
{
    std::vector<const char *> arguments;
    std::vector<std::string> events; // redirections, calls and restorations, in order
    const char *text;
    int32_t code;
    bool elevated = false;
    uint32_t redirectError = 0;
    int recordedKeys = 3;
    uint32_t manifestError = 0;
};

TEST_F(BatchTest, RecordingAndCurrentUserWrapTheCallsAndSayWhatBecameOfTheKeys)
{
    const std::string ok = "C:\\c\\ok.dll";
    const RedirectCase cases[] = {
        {{"/R:x.reg", "C:\\c\\ok.dll"},
         {"redirect record", "call " + ok + " DllRegisterServer", "restore keep " + ok},
         "Recorded 3 keys",
         0},
        // A failing call: its keys are dropped, and its row is the usual one.
        {{"/R:x.reg", "C:\\c\\fail5.dll"},
         {"redirect record", "call C:\\c\\fail5.dll DllRegisterServer", "restore drop C:\\c\\fail5.dll"},
         "Access denied",
         5},
        {{"/R:x.reg", "C:\\c\\crash.dll"},
         {"redirect record", "call C:\\c\\crash.dll DllRegisterServer", "restore drop C:\\c\\crash.dll"},
         "The component crashed: access violation (0xC0000005) at crash.dll+0x1a2b",
         static_cast<int32_t>(0xC0000005)},
        // Recording describes registering: nothing is loaded to unregister.
        {{"/U", "/R:x.reg", "C:\\c\\ok.dll"},
         {},
         "Nothing was called: a recording (/R) describes what registering writes, not unregistering.",
         87},
        {{"/C", "C:\\c\\ok.dll"},
         {"redirect user", "call " + ok + " DllRegisterServer", "restore keep " + ok},
         "Registered for the current user. 1 machine-wide key was not written: HKLM\\Software\\Vendor",
         0},
        {{"/C", "/U", "C:\\c\\ok.dll"},
         {"redirect user", "call " + ok + " DllUnregisterServer", "restore keep " + ok},
         "Unregistered for the current user. 1 machine-wide key was not written: HKLM\\Software\\Vendor. TolVane "
         "runs elevated, and the system ignores per-user registrations for elevated programs",
         0,
         true},
        // A type library is redirected the same way.
        {{"/R:x.reg", "C:\\c\\lib.tlb"},
         {"redirect record", "typelib C:\\c\\lib.tlb", "restore keep C:\\c\\lib.tlb"},
         "Recorded 3 keys",
         0},
        // The registry cannot be redirected: nothing is called.
        {{"/R:x.reg", "C:\\c\\ok.dll"}, {"redirect record"}, "Access denied", 5, false, 5},
        {{"/R:x.reg", "C:\\c\\ok.dll"},
         {"redirect record", "call " + ok + " DllRegisterServer", "restore keep " + ok},
         "Nothing was recorded: the component wrote no registry key.",
         0,
         false,
         0,
         0},
        {{"/R:x.reg", "C:\\c\\ok.dll"},
         {"redirect record", "call " + ok + " DllRegisterServer", "restore keep " + ok},
         "Recorded 1 key",
         0,
         false,
         0,
         1},
        // /M: the recording (a class whose key holds no value of its own) becomes a manifest beside
        // the component, checked by loading the class.
        {{"/M", "C:\\c\\ok.dll"},
         {"redirect record", "call " + ok + " DllRegisterServer", "restore keep " + ok,
          "manifest C:\\c\\ok.sxs.manifest", "check C:\\c\\ok.sxs.manifest in C:\\c\\ load"},
         "Wrote C:\\c\\ok.sxs.manifest: 1 class, 0 type libraries, 0 interfaces; checked. The application's manifest "
         "names it with: <dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"ok.sxs\" "
         "version=\"1.0.0.0\" processorArchitecture=\"*\"/></dependentAssembly></dependency>",
         0},
        // A manifest that cannot be written is the component's failure.
        {{"/M", "C:\\c\\ok.dll"},
         {"redirect record", "call " + ok + " DllRegisterServer", "restore keep " + ok,
          "manifest C:\\c\\ok.sxs.manifest"},
         "Nothing was registered, and the manifest for it could not be written: Access denied",
         5, false, 0, 3, 5},
        // /V records what registering writes, even under /U, and compares it with the registry.
        {{"/V", "C:\\c\\ok.dll"},
         {"redirect record", "call " + ok + " DllRegisterServer", "restore keep " + ok},
         "Not registered: 1 class missing.",
         static_cast<int32_t>(0x80040154)},
        {{"/U", "/V", "/R:x.reg", "C:\\c\\ok.dll"},
         {"redirect record", "call " + ok + " DllRegisterServer", "restore keep " + ok},
         "Not registered: nothing that it registers is in the registry.",
         0},
        // A type library is registered under redirection, not unregistered; /V wins over /M and /C.
        {{"/V", "/U", "/M", "/C", "C:\\c\\lib.tlb"},
         {"redirect record", "typelib C:\\c\\lib.tlb", "restore keep C:\\c\\lib.tlb"},
         "Not registered: nothing that it registers is in the registry.",
         0},
    };
    // Only a /R recording of calls that succeeded is kept for the record file.
    // /V wins over /R: its recording is not kept.
    Run({"/R:x.reg", "/V", "C:\\c\\ok.dll"});
    EXPECT_EQ(sys.kept, "");
    SetUp();
    Run({"/C", "C:\\c\\ok2.ocx", "/R:x.reg", "C:\\c\\fail5.dll", "C:\\c\\ok.dll", "/M", "C:\\c\\ok2.ocx"});
    EXPECT_EQ(sys.kept, "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\r\n@=\"C:\\c\\ok.dll\"\r\n"
                        "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\r\n@=\"C:\\c\\ok2.ocx\"\r\n");
    // What a .reg file cannot hold is named in the row.
    SetUp();
    sys.leftOut = true;
    Run({"/R:x.reg", "C:\\c\\ok.dll"});
    EXPECT_STREQ(resultsTable.rows[0].resultText, "Recorded 3 keys. 1 key or value that a .reg file cannot hold "
                                                  "faithfully was left out: HKLM\\Software\\A?B");
    for (const RedirectCase &c : cases)
    {
        SetUp();
        SCOPED_TRACE(c.arguments.front());
        sys.elevated = c.elevated;
        sys.redirectError = c.redirectError;
        sys.recordedKeys = c.recordedKeys;
        sys.manifestError = c.manifestError;
        Run(c.arguments);
        std::vector<std::string> events;
        for (const std::string &e : sys.events)
            if (e.rfind("redirect ", 0) == 0 || e.rfind("call ", 0) == 0 || e.rfind("restore ", 0) == 0 ||
                e.rfind("typelib ", 0) == 0 || e.rfind("manifest ", 0) == 0 || e.rfind("check ", 0) == 0)
                events.push_back(e);
        EXPECT_EQ(events, c.events);
        ASSERT_EQ(resultsTable.rowCount, 1);
        EXPECT_STREQ(resultsTable.rows[0].resultText, c.text);
        EXPECT_EQ(resultsTable.rows[0].resultCode, c.code);
        if (c.manifestError != 0)
        {
            EXPECT_EQ(BatchExitValue(), c.code) << "a failed manifest counts as the component's result";
        }
    }
}

TEST_F(BatchTest, CallPastTheTimeLimitIsAbandonedAndTheRestRunsElsewhere)
{
    Run({"/T:30", "C:\\c\\ok.dll"});
    EXPECT_EQ(sys.limits, (std::vector<uint32_t>{0, 0, 0})) << "no limit where somebody is there to answer";

    // Under /T a silent run's first process runs no component code: the batch goes to a fresh process
    // at once, and the first process supervises it.
    SetUp();
    Run({"/S", "C:\\c\\ok.dll", "/T:30", "C:\\c\\inst.dll"});
    EXPECT_EQ(sys.events, (std::vector<std::string>{"rest 2 from C:\\start"}));
    EXPECT_EQ(resultsTable.rowCount, 2);

    // There, the limit travels with each step it watches, from the /T before the component.
    SetUp();
    childRun = 1;
    Run({"/S", "C:\\c\\ok.dll", "/T:30", "C:\\c\\inst.dll", "/I", "/T:7", "C:\\c\\inst.dll"});
    // The load, each call and the unload are watched: each runs the component's code.
    EXPECT_EQ(sys.limits, (std::vector<uint32_t>{0, 0, 0, 30, 30, 30, 7, 7, 7, 7}));

    // A child run leaves the rest to the first process.
    SetUp();
    sys.abandonInCall = true;
    childRun = 1;
    Run({"C:\\c\\ok.dll", "C:\\c\\ok2.ocx"});
    EXPECT_EQ(resultsTable.rowCount, 1);
    EXPECT_EQ(BatchExitValue(), 1460);
    for (const std::string &e : sys.events)
        EXPECT_NE(e.rfind("rest ", 0), 0u) << e;
    sys.crashes = sys.loaded;
    RowReport none = {};
    EXPECT_FALSE(PendingCall(&none)) << "no call runs now";
}

TEST_F(BatchTest, RowsTellTheirCallsFullPathAndTimeAndWhatTheWatchdogAnswered)
{
    sys.windowNoteInCall = "The component showed a window, which TolVane answered with OK: \"Setup\"";
    Run({"C:\\c\\ok.dll", "/I:x", "ok.dll", "/N", "C:\\c\\none.dll", "/U", "C:\\c\\inst.dll"});
    ASSERT_EQ(resultsTable.rowCount, 4);
    EXPECT_STREQ(resultsTable.rows[0].resultText,
                 "Registered successfully. The component showed a window, which TolVane answered with OK: \"Setup\"");
    // A relative name's full path is taken from the start folder; the clock advances 5 ms a reading.
    std::vector<std::string> reports = {
        "register|C:\\c\\ok.dll|5",
        "register+DllInstall|C:\\start\\ok.dll|5",
        "DllInstall|C:\\c\\none.dll|5",
        "DllInstall|C:\\c\\inst.dll|5",
    };
    EXPECT_EQ(sys.reports, reports);

    // Rows that a child reports keep its words for them.
    SetUp();
    Run({"C:\\c\\crash.dll", "/U", "ok.dll"});
    reports = {"register|C:\\c\\crash.dll|5", "child call|C:\\start\\ok.dll|42"};
    EXPECT_EQ(sys.reports, reports);
}

TEST_F(BatchTest, ArgumentTheCodePageCannotHoldIsNeverLoadedNorAnOption)
{
    RunLossy({"/U?", "C:\\c\\q?.dll", "C:\\c\\ok.dll"}, {1, 2});
    ASSERT_EQ(resultsTable.rowCount, 3);
    for (int i = 0; i < 2; i++)
    {
        EXPECT_EQ(resultsTable.rows[i].resultCode, RESULT_INVALID_NAME) << i;
        EXPECT_EQ(resultsTable.rows[i].kind, ROW_OWN_TEXT) << i;
    }
    EXPECT_STREQ(resultsTable.rows[0].componentPath, "/U?");
    EXPECT_STREQ(resultsTable.rows[1].resultText,
                 "The name of this component holds characters that the system's ANSI code page cannot hold, so "
                 "TolVane cannot pass it on; it was not loaded.");
    EXPECT_STREQ(resultsTable.rows[2].resultText, "Registered successfully") << "/U? is not the /U option";
    const std::vector<std::string> expected = {"chdir C:\\c", "load C:\\c\\ok.dll",
                                               "call C:\\c\\ok.dll DllRegisterServer", "free C:\\c\\ok.dll"};
    EXPECT_EQ(sys.events, expected);
    EXPECT_EQ(BatchExitValue(), 0);

    SetUp();
    RunLossy({"C:\\c\\ok.dll", "/S", "C:\\c\\q?.dll"}, {3});
    EXPECT_EQ(silentMode, 1) << "arguments the code page holds stay as they are";
    EXPECT_EQ(BatchExitValue(), 0);
    SetUp();
    RunLossy({"C:\\c\\q?.dll"}, {1});
    EXPECT_EQ(BatchExitValue(), RESULT_INVALID_NAME);
}

TEST(ExactModuleName, NameWithoutExtensionGetsATrailingDot)
{
    const struct
    {
        std::string path;
        std::string name;
    } cases[] = {
        {"C:\\x\\grid", "C:\\x\\grid."},
        {"C:\\x\\grid.dll", "C:\\x\\grid.dll"},
        {"C:\\x\\grid.ocx", "C:\\x\\grid.ocx"},
        {"C:\\x.y\\grid", "C:\\x.y\\grid."},
        {"C:\\" + std::string(256, 'n'), "C:\\" + std::string(256, 'n') + "."},
        // The system strips no trailing dot from a "\\?\" path: its plain form takes the dot.
        {"\\\\?\\C:\\x\\grid", "C:\\x\\grid."},
        {"\\\\?\\C:\\x\\grid.ocx", "C:\\x\\grid.ocx"},
        {"\\\\?\\UNC\\srv\\share\\grid", "\\\\srv\\share\\grid."},
        // Where no plain form names the same file, the path stays as it is.
        {"\\\\?\\C:\\x.\\grid", "\\\\?\\C:\\x.\\grid"},
        {"\\\\?\\C:\\x\\grid ", "\\\\?\\C:\\x\\grid "},
        {"\\\\?\\Volume{1}\\grid", "\\\\?\\Volume{1}\\grid"},
    };
    for (const auto &c : cases)
    {
        char name[PATH_BUFFER_SIZE + 1];
        ExactModuleName(c.path.c_str(), NoLeadBytes, name);
        EXPECT_EQ(name, c.name);
    }
}

TEST_F(BatchTest, OnlyComponentsOfTheOtherMachineGoToTheTwin)
{
    Run({"C:\\c\\x64.dll", "C:\\c\\arm64.dll", "C:\\c\\bad.dll", "/u", "C:\\c\\x64.dll"});
    std::vector<std::string> twins;
    for (const std::string &e : sys.events)
        if (e.rfind("twin ", 0) == 0)
            twins.push_back(e);
    EXPECT_EQ(twins, (std::vector<std::string>{"twin C:\\c\\x64.dll", "twin C:\\c\\x64.dll /U"}));

    // The twin's explanation of a failure keeps its paragraph, and the mark is gone.
    SetUp();
    Run({"C:\\c\\x64denied.dll"});
    ASSERT_EQ(resultsTable.rowCount, 1);
    EXPECT_STREQ(resultsTable.rows[0].resultText, "Access denied. Run it as administrator.");
    EXPECT_EQ(resultsTable.rows[0].explanationAt, 15u);
}

TEST_F(BatchTest, OptionsTakeNoRowAndUnregisterAffectsOnlyLaterComponents)
{
    Run({"/x", "C:\\c\\ok.dll", "/S", "/U", "C:\\c\\ok2.ocx", "C:\\c\\ok.dll"});
    ASSERT_EQ(resultsTable.rowCount, 3);
    EXPECT_STREQ(resultsTable.rows[0].resultText, "Registered successfully");
    EXPECT_STREQ(resultsTable.rows[1].resultText, "Unregistered successfully");
    EXPECT_STREQ(resultsTable.rows[1].componentPath, "C:\\c\\ok2.ocx");
    EXPECT_STREQ(resultsTable.rows[2].resultText, "Unregistered successfully");
    EXPECT_EQ(silentMode, 1);
    EXPECT_EQ(unregisterMode, 1);
}

struct ExitCase
{
    std::vector<const char *> arguments;
    int32_t exitCode;
};

TEST_F(BatchTest, ExitCodeIsTheLastCalledEntryPointsResultElseTheLastRowsCode)
{
    const ExitCase cases[] = {
        {{"C:\\c\\fail5.dll", "C:\\c\\none.dll"}, static_cast<int32_t>(0x80070005)},
        {{"C:\\c\\fail5.dll", "C:\\c\\ok.dll", "C:\\c\\noentry.dll"}, 0},
        {{"C:\\c\\ok.dll", "C:\\c\\fail5.dll", "C:\\c\\bad.dll"}, static_cast<int32_t>(0x80070005)},
        {{"C:\\c\\noentry.dll", "C:\\c\\none.dll"}, -2},
        {{"C:\\c\\none.dll", "C:\\c\\noentry.dll"}, -1},
        {{"C:\\c\\none.dll", "C:\\c\\bad.dll"}, 193},
        {{"/s", "/u"}, 0},
        {{}, 0},
        // A pattern's summary calls nothing and tells no outcome: it does not clear a failure, even
        // as the last row (its components beyond the table's limit).
        {{"C:\\c\\none.dll", "/*matched:1:0:C:\\c\\*.dll"}, -2},
    };
    for (const ExitCase &c : cases)
    {
        SetUp();
        Run(c.arguments);
        EXPECT_EQ(BatchExitValue(), c.exitCode) << resultsTable.rowCount << " rows";
    }
}

TEST_F(BatchTest, PatternsPrivateArgumentMakesItsOneRowAndLoadsNothing)
{
    const struct
    {
        std::vector<const char *> arguments;
        std::string row;    // "<path>|<text>|<code>|<kind>"
        std::string report; // "<call>|<full path>"
    } cases[] = {
        {{"/*matched:2:0:C:\\c\\*"}, "C:\\c\\*|2 components|0|3", "register|C:\\c\\*"},
        {{"/N", "/I:x", "/*matched:1:1:C:\\c\\*"}, "C:\\c\\*|1 component; 1 other file skipped (no DllInstall)|0|3",
         "DllInstall|C:\\c\\*"},
        {{"/I", "/*matched:1:2:C:\\c\\*"},
         "C:\\c\\*|1 component; 2 other files skipped (not self-registering with DllInstall)|0|3",
         "register+DllInstall|C:\\c\\*"},
        // Nothing matched, or nothing that is a component: not found; a pattern in a folder name.
        {{"/*matched:0:4:C:\\c\\*"}, "C:\\c\\*|No components; 4 other files skipped (not self-registering)|-2|2",
         "register|C:\\c\\*"},
        {{"/*matched:0:0:C:\\c\\*.xyz"}, "C:\\c\\*.xyz|The component 'C:\\c\\*.xyz' could not found on this computer.|-2|0",
         "register|C:\\c\\*.xyz"},
        {{"/*unexpanded:C:\\*\\ok.dll"},
         "C:\\*\\ok.dll|TolVane expands '*' and '?' in a file's name only, not in the name of a folder: nothing was "
         "loaded.|123|2",
         "register|C:\\*\\ok.dll"},
    };
    for (const auto &c : cases)
    {
        SetUp();
        SCOPED_TRACE(c.arguments.back());
        Run(c.arguments);
        ASSERT_EQ(resultsTable.rowCount, 1);
        const ResultEntry &row = resultsTable.rows[0];
        EXPECT_EQ(std::string(row.componentPath) + "|" + row.resultText + "|" + std::to_string(row.resultCode) + "|" +
                      std::to_string(row.kind),
                  c.row);
        ASSERT_EQ(sys.reports.size(), 1u);
        EXPECT_EQ(sys.reports[0].substr(0, sys.reports[0].rfind('|')), c.report);
        EXPECT_TRUE(sys.events.empty()) << sys.events[0];
        EXPECT_EQ(BatchExitValue(), row.resultCode) << "a row alone makes the exit code";
    }
}

TEST_F(BatchTest, RelativeNamesAreResolvedFromTheStartingFolderAndLoadedByFullPath)
{
    Run({"C:\\c\\ok.dll", "ok.dll", "sub\\ok.dll", ".\\ok.dll"});
    ASSERT_EQ(resultsTable.rowCount, 4);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(resultsTable.rows[i].resultCode, 0) << i;
    // Rows keep the names as given.
    EXPECT_STREQ(resultsTable.rows[1].componentPath, "ok.dll");
    EXPECT_STREQ(resultsTable.rows[2].componentPath, "sub\\ok.dll");
    const std::vector<std::string> loads = {"load C:\\c\\ok.dll", "load C:\\start\\ok.dll",
                                            "load C:\\start\\sub\\ok.dll", "load C:\\start\\ok.dll"};
    std::vector<std::string> seen;
    for (const std::string &e : sys.events)
        if (e.rfind("load ", 0) == 0)
            seen.push_back(e);
    EXPECT_EQ(seen, loads);
}

TEST_F(BatchTest, ShortNamesAreExpandedInTheFolderTheirPathIsRelativeTo)
{
    // The relative short name comes after a component that moved the folder away from the start.
    Run({"C:\\c\\ok.dll", "sub\\OK~1.DLL", "C:\\c\\OK2~1.OCX", "C:\\start\\ok.dll"});
    const std::vector<std::string> expected = {
        "sub in C:\\start",
        "sub\\OK~1.DLL in C:\\start",
        "C:\\c in C:\\start\\sub",
        "C:\\c\\OK2~1.OCX in C:\\start\\sub",
    };
    EXPECT_EQ(sys.lookups, expected);
    ASSERT_EQ(resultsTable.rowCount, 4);
    EXPECT_STREQ(resultsTable.rows[1].componentPath, "sub\\ok.dll");
    EXPECT_STREQ(resultsTable.rows[2].componentPath, "C:\\c\\ok2.ocx");
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(resultsTable.rows[i].resultCode, 0) << i;
}

TEST_F(BatchTest, OverlongNameGetsARowAndIsNeverLoaded)
{
    std::string name = "C:\\c\\" + std::string(300, 'x') + ".dll";
    Run({name.c_str(), "C:\\c\\ok.dll"});
    ASSERT_EQ(resultsTable.rowCount, 2);
    EXPECT_EQ(std::strlen(resultsTable.rows[0].componentPath), 259u);
    EXPECT_EQ(name.compare(0, 259, resultsTable.rows[0].componentPath), 0);
    EXPECT_EQ(resultsTable.rows[0].resultCode, 206);
    EXPECT_STREQ(resultsTable.rows[0].resultText, "The filename or extension is too long");
    for (const std::string &e : sys.events)
        EXPECT_EQ(e.find("xxxx"), std::string::npos) << e;
    EXPECT_EQ(resultsTable.rows[1].resultCode, 0);
}

TEST_F(BatchTest, NameOfExactlyTheLimitIsProcessed)
{
    std::string name = "C:\\c\\" + std::string(259 - 9, 'y') + ".dll";
    ASSERT_EQ(name.size(), 259u);
    Run({name.c_str()});
    ASSERT_EQ(resultsTable.rowCount, 1);
    EXPECT_EQ(resultsTable.rows[0].resultCode, -2);
    EXPECT_EQ(std::string(resultsTable.rows[0].componentPath), name);
}

// The table holds far more than five hundred rows. A failed row's diagnosis reads files and
// searches folders; a run where every component succeeds asks it nothing, however long.
static int diagnosisCalls;

TEST_F(BatchTest, TableHoldsFarMoreThanFiveHundredComponentsAndOnlyAFailedRowIsDiagnosed)
{
    PlatformOps ops = FAKE_OPS;
    ops.diagnose.readFile = [](const char *, unsigned char **, size_t *) { return ++diagnosisCalls < 0; };
    ops.diagnose.findModule = [](const char *, const char *, char *, size_t) { return ++diagnosisCalls < 0; };
    ops.diagnose.isKnownDll = [](const char *) { return ++diagnosisCalls < 0; };
    ops.diagnose.isElevated = []() { return ++diagnosisCalls > 0; };
    ops.diagnose.isLeadByte = [](unsigned char) { return false; };
    const struct
    {
        std::vector<const char *> arguments;
        bool diagnosed;
    } cases[] = {
        {std::vector<const char *>(1200, "C:\\c\\ok.dll"), false},
        {{"C:\\c\\ok.dll", "C:\\c\\noentry.dll"}, true},
    };
    for (const auto &c : cases)
    {
        SetUp();
        diagnosisCalls = 0;
        Run(c.arguments, ops);
        EXPECT_EQ(diagnosisCalls > 0, c.diagnosed) << c.arguments.size();
        EXPECT_EQ(resultsTable.rowCount, static_cast<int>(c.arguments.size()));
        EXPECT_EQ(resultsTable.unprocessedCount, 0);
    }
}

TEST_F(BatchTest, ComponentsBeyondTheTableAreCountedNotDropped)
{
    std::vector<const char *> arguments(MAX_RESULT_ROWS + 3, "C:\\c\\none.dll");
    Run(arguments);
    EXPECT_EQ(resultsTable.rowCount, MAX_RESULT_ROWS);
    EXPECT_EQ(resultsTable.unprocessedCount, 3);
}

} // namespace
