// /V: a recording of what a component registers, compared with simulated registries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/verify/verify.h"

namespace
{

const char COMPONENT[] = "C:\\Program Files\\grid.ocx";

// What registering grid.ocx writes, as /R records it: a class, its type library and a machine-wide
// vendor key; 6 values.
const char RECORDING[] = "\r\n; C:\\Program Files\\grid.ocx (32-bit view: import with reg import file /reg:32)\r\n"
                         "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}]\r\n@=\"Grid\"\r\n"
                         "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\r\n"
                         "@=\"C:\\\\Program Files\\\\grid.ocx\"\r\n\"ThreadingModel\"=\"Apartment\"\r\n"
                         "\r\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\TypeLib\\{L}\\1.0]\r\n@=\"Grid library\"\r\n"
                         "\r\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\TypeLib\\{L}\\1.0\\0\\win32]\r\n"
                         "@=\"C:\\\\Program Files\\\\grid.ocx\"\r\n"
                         "\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n\"Licensed\"=dword:00000001\r\n";

const std::string CLASS = "HKEY_CLASSES_ROOT\\CLSID\\{A}";
const std::string SERVER = CLASS + "\\InprocServer32";
const std::string LIBRARY = "HKEY_LOCAL_MACHINE\\Software\\Classes\\TypeLib\\{L}\\1.0";
const std::string LIBRARY_FILE = LIBRARY + "\\0\\win32";
const std::string VENDOR = "HKEY_LOCAL_MACHINE\\Software\\Vendor";

struct Value
{
    uint32_t type;
    std::string data; // text for REG_SZ and REG_EXPAND_SZ, else bytes
};

// A simulated registry: keys with their values, the views that hold each key (both views hold
// the same data), and COM's answers.
struct FakeRegistry
{
    std::map<std::string, std::map<std::string, Value>> keys;
    std::map<std::string, unsigned> views;          // default: the 32-bit view alone
    std::map<std::string, std::string> otherView64; // the 64-bit view's InprocServer32 where it differs
    int32_t objectResult = 0;
    std::string server = COMPONENT; // the module that serves the class object
    bool crashes = false;
    int objectsHad = 0;
};

FakeRegistry reg;

std::string Dword(uint32_t value)
{
    return std::string(reinterpret_cast<const char *>(&value), 4);
}

// The registry as registering grid.ocx leaves it.
FakeRegistry Registered()
{
    FakeRegistry r;
    r.keys[CLASS][""] = {1, "Grid"};
    r.keys[SERVER][""] = {1, COMPONENT};
    r.keys[SERVER]["ThreadingModel"] = {1, "Apartment"};
    r.keys[LIBRARY][""] = {1, "Grid library"};
    r.keys[LIBRARY_FILE][""] = {1, COMPONENT};
    r.keys[VENDOR]["Licensed"] = {4, Dword(1)};
    return r;
}

// The same keys where /C puts them: the classes in the user's, the vendor key nowhere.
FakeRegistry RegisteredForUser()
{
    FakeRegistry r;
    for (const auto &key : Registered().keys)
        if (key.first != VENDOR)
            r.keys["HKEY_CURRENT_USER\\Software\\Classes\\" +
                   key.first.substr(std::min(key.first.find("CLSID"), key.first.find("TypeLib")))] = key.second;
    return r;
}

// The views that hold key: none when it is missing, else by default the 32-bit view alone.
unsigned ViewsOf(const std::string &key)
{
    return reg.keys.count(key) == 0 ? 0u : reg.views.count(key) != 0 ? reg.views[key] : static_cast<unsigned>(VIEW_32);
}

bool Holds(const std::string &key, int view)
{
    return ViewsOf(key) != 0 && (view == VIEW_OWN || (ViewsOf(key) & static_cast<unsigned>(view)) != 0);
}

// Names that the simulated file system takes for the same file as COMPONENT.
bool IsComponent(const std::string &path)
{
    return path == COMPONENT || path == "C:\\PROGRA~1\\GRID.OCX" || path == "%ProgramFiles%\\grid.ocx" ||
           path == "\"C:\\Program Files\\grid.ocx\"";
}

VerifyOps FakeVerifyOps()
{
    VerifyOps ops = {};
    ops.keyExists = [](const char *key, int view) { return Holds(key, view); };
    ops.readValue = [](const char *key, const char *name, int view, uint32_t *type, unsigned char *data,
                       size_t *size) {
        if (!Holds(key, view) || reg.keys[key].count(name) == 0)
            return false;
        Value value = reg.keys[key][name];
        if (view == VIEW_64 && name[0] == '\0' && reg.otherView64.count(key) != 0)
            value.data = reg.otherView64[key];
        *type = value.type;
        if (value.data.size() <= *size)
            std::memcpy(data, value.data.data(), value.data.size());
        *size = value.data.size();
        return true;
    };
    ops.sameFile = [](const char *a, const char *b) {
        return std::strcmp(a, b) == 0 || (IsComponent(a) && IsComponent(b));
    };
    ops.classServer = [](const char *clsid, const char *fullPath, int32_t *result, bool *thisFile, char *server,
                         size_t size, EntryPointCrash *crash) {
        EXPECT_STREQ(clsid, "{A}");
        reg.objectsHad++;
        if (reg.crashes)
        {
            crash->exceptionCode = 0xC0000005;
            return false;
        }
        *result = reg.objectResult;
        *thisFile = reg.server == fullPath;
        std::snprintf(server, size, "%s", reg.server.c_str());
        return true;
    };
    ops.keyViews = [](const char *key) { return ViewsOf(key); };
    return ops;
}

SystemOps FakeSystemOps()
{
    SystemOps system = {};
    system.systemText = [](uint32_t code, char *text, size_t size) {
        if (code != 0x80004002)
            return false;
        std::snprintf(text, size, "No such interface supported\r\n");
        return true;
    };
    system.watchStep = [](bool, uint32_t) {};
    system.waitForever = []() {};
    return system;
}

// Verifies recording against reg: the row's text, the outcome in *outcome.
std::string Verify(const char *recording, VerifyOutcome *outcome, EntryPointCrash *crash, bool unregister = false,
                   bool currentUser = false)
{
    VerifyRecording(recording, COMPONENT, unregister, currentUser, 30, FakeSystemOps(), FakeVerifyOps(), outcome,
                    crash);
    char text[1024];
    ComposeVerifyText(*outcome, unregister, text, sizeof text);
    return text;
}

struct VerifyCase
{
    const char *what;
    FakeRegistry registry;
    const char *text;
    uint32_t code;
    bool unregister = false;
    bool currentUser = false;
    int objectsHad = -1; // -1: one, when the registry holds everything
};

FakeRegistry With(FakeRegistry r, const std::string &key, const char *name, Value value)
{
    r.keys[key][name] = value;
    return r;
}

FakeRegistry Without(FakeRegistry r, const std::string &key)
{
    r.keys.erase(key);
    return r;
}

FakeRegistry Views(FakeRegistry r, unsigned views, const char *server64 = nullptr)
{
    r.views[SERVER] = views;
    if (server64 != nullptr)
        r.otherView64[SERVER] = server64;
    return r;
}

FakeRegistry Object(FakeRegistry r, int32_t result, const char *server)
{
    r.objectResult = result;
    r.server = server;
    return r;
}

TEST(Verify, RecordingAgainstRegistriesComesToItsRowAndCode)
{
    const std::string other = "C:\\old\\grid.ocx";
    const VerifyCase cases[] = {
        {"all there", Registered(),
         "Registered as it registers itself: 1 class, 1 type library, 6 values; objects created; for 32-bit programs.",
         0},
        {"a short name, quotes and REG_EXPAND_SZ name the same file",
         With(With(Registered(), SERVER, "", {1, "C:\\PROGRA~1\\GRID.OCX"}), LIBRARY_FILE, "",
              {2, "%ProgramFiles%\\grid.ocx"}),
         "Registered as it registers itself: 1 class, 1 type library, 6 values; objects created; for 32-bit programs.",
         0},
        {"both views", Views(Registered(), VIEW_32 | VIEW_64),
         "Registered as it registers itself: 1 class, 1 type library, 6 values; objects created; for 32-bit and "
         "64-bit programs.",
         0},
        {"the 64-bit view names another file", Views(Registered(), VIEW_32 | VIEW_64, "C:\\x64\\grid.ocx"),
         "Registered as it registers itself: 1 class, 1 type library, 6 values; objects created; for 32-bit programs.",
         0},
        {"the class names another file", With(Registered(), SERVER, "", {1, other}),
         "Class {A} names C:\\old\\grid.ocx, not this file.", 0x80040154, false, false, 0},
        {"the type library names another file", With(Registered(), LIBRARY_FILE, "", {1, other}),
         "Type library {L} 1.0 names C:\\old\\grid.ocx, not this file.", 0x8002801D, false, false, 0},
        {"a value changed", With(Registered(), SERVER, "ThreadingModel", {1, "Both"}),
         "HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32: ThreadingModel is \"Both\", not \"Apartment\" as this file "
         "registers it.",
         0x80040153, false, false, 0},
        {"a number changed", With(Registered(), VENDOR, "Licensed", {4, Dword(2)}),
         "HKEY_LOCAL_MACHINE\\Software\\Vendor: Licensed is 2, not 1 as this file registers it.", 0x80040153, false,
         false, 0},
        {"the most telling problem first, the others counted",
         With(With(Registered(), SERVER, "ThreadingModel", {1, "Both"}), SERVER, "", {1, other}),
         "Class {A} names C:\\old\\grid.ocx, not this file. 1 more difference.", 0x80040154, false, false, 0},
        {"a key missing", Without(Registered(), VENDOR), "HKEY_LOCAL_MACHINE\\Software\\Vendor is missing.",
         0x80040152, false, false, 0},
        {"the class missing", Without(Without(Registered(), CLASS), SERVER), "Class {A} is not registered.",
         0x80040154, false, false, 0},
        {"nothing there", FakeRegistry(), "Not registered: 1 class, 1 type library missing.", 0x80040154, false,
         false, 0},
        {"the object cannot be had", Object(Registered(), static_cast<int32_t>(0x80004002), COMPONENT),
         "Class {A}: its object could not be had: No such interface supported", 0x80004002},
        {"the object comes from another module", Object(Registered(), 0, "C:\\old\\grid.ocx"),
         "Class {A}: its object comes from C:\\old\\grid.ocx, not this file.", 0x80040154},
        {"/U /V, keys left",
         With(Without(Without(Registered(), LIBRARY), LIBRARY_FILE), CLASS, "", {1, "Grid"}),
         "Still registered: 3 keys left: HKEY_CLASSES_ROOT\\CLSID\\{A}, "
         "HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32, HKEY_LOCAL_MACHINE\\Software\\Vendor.",
         0x800700B7, true, false, 0},
        {"/U /V, a key whose own values are gone is no longer registered", [] {
             FakeRegistry r;
             r.keys[SERVER]["Other"] = {1, "x"};
             return r;
         }(),
         "Not registered: nothing that it registers is in the registry.", 0, true, false, 0},
        {"/C /V: the user's classes, machine-wide keys outside them not compared", RegisteredForUser(),
         "Registered as it registers itself: 1 class, 1 type library, 5 values; objects created; for 32-bit programs.",
         0, false, true},
        {"/C /V: registered for the machine, not the user", Registered(),
         "Not registered: 1 class, 1 type library missing.", 0x80040154, false, true, 0},
    };
    for (const VerifyCase &c : cases)
    {
        SCOPED_TRACE(c.what);
        reg = c.registry;
        VerifyOutcome outcome;
        EntryPointCrash crash = {};
        EXPECT_EQ(Verify(RECORDING, &outcome, &crash, c.unregister, c.currentUser), c.text);
        EXPECT_EQ(static_cast<uint32_t>(outcome.code), c.code);
        EXPECT_EQ(reg.objectsHad, c.objectsHad < 0 ? 1 : c.objectsHad) << "objects are had only when all holds";
    }
}

// Nothing recorded; a value longer than the first buffer, read again into one of its own and
// compared whole; a crash while the object is had.
TEST(Verify, NothingRecordedLongValuesAndACrash)
{
    VerifyOutcome outcome;
    EntryPointCrash crash = {};
    reg = FakeRegistry();
    EXPECT_EQ(Verify("", &outcome, &crash), "Nothing to verify: the component writes no registry key.");
    EXPECT_EQ(outcome.code, 0);
    const std::string longText(3000, 'x');
    const std::string recording = "[HKEY_CURRENT_USER\\Software\\Vendor]\r\n\"Long\"=\"" + longText + "\"\r\n";
    for (const std::string &held : {longText, longText + "y"})
    {
        reg.keys["HKEY_CURRENT_USER\\Software\\Vendor"]["Long"] = {1, held};
        Verify(recording.c_str(), &outcome, &crash);
        EXPECT_EQ(outcome.code, held == longText ? 0 : 0x80040153) << held.size();
    }
    reg = Registered();
    reg.crashes = true;
    Verify(RECORDING, &outcome, &crash);
    EXPECT_TRUE(outcome.crashed);
    EXPECT_EQ(crash.exceptionCode, 0xC0000005u);
}

} // namespace
