// The diagnosis of a failed row: the words for each cause, the loader's search order over small PE
// images built here, and hostile images that must neither crash nor hang the walk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/diagnose/diagnose.h"
#include "base/pe_file.h"
#include "base/bytes.h"
#include "pe_image_builder.h"

namespace
{

// The machine seen by the diagnosis: files by full path, the folders the loader searches after the
// component's, KnownDLLs, the token.
std::map<std::string, std::vector<unsigned char>> files;
std::map<std::string, int> reads;
bool elevated;

DiagnoseOps FakeOps()
{
    DiagnoseOps ops;
    ops.readFile = [](const char *path, unsigned char **bytes, size_t *size) {
        auto file = files.find(path);
        if (file == files.end())
            return false;
        reads[path]++;
        *size = file->second.size();
        *bytes = static_cast<unsigned char *>(std::malloc(*size + 1));
        if (*size > 0)
            std::memcpy(*bytes, file->second.data(), *size);
        return true;
    };
    ops.findModule = [](const char *name, const char *folder, char *out, size_t size) {
        for (std::string f : {std::string(folder), std::string("C:\\Windows\\system32\\"), std::string("C:\\Windows\\"),
                              std::string("C:\\cwd\\"), std::string("C:\\bin\\")})
            if (files.count(f + name) != 0)
                return std::snprintf(out, size, "%s", (f + name).c_str()) > 0;
        return false;
    };
    ops.isKnownDll = [](const char *name) {
        return std::string(name) == "kernel32.dll" || std::string(name) == "user32.dll";
    };
    ops.isElevated = [] { return elevated; };
    ops.isLeadByte = NoLeadBytes;
    return ops;
}

std::string Explain(int32_t code, const char *component = "grid.ocx", uint16_t machine = X86)
{
    char text[1024];
    const std::string path = std::string("C:\\x\\") + component;
    const bool said = ExplainFailure(code, path.c_str(), machine, FakeOps(), text, sizeof text);
    EXPECT_EQ(said, text[0] != '\0');
    return text;
}

// One machine for every row: each component below meets one cause.
void InstallFiles()
{
    files = {
        {"C:\\x\\missing.ocx", Image({{"nowhere.dll", {"A"}}})},
        {"C:\\x\\chain.ocx", Image({{"depa.dll", {"A"}}})},
        {"C:\\x\\depa.dll", Image({{"depb.dll", {"B"}}}, {"A"})},
        {"C:\\x\\deep.ocx", Image({{"deep1.dll", {}}})},
        {"C:\\x\\deep1.dll", Image({{"depa.dll", {}}})},
        {"C:\\x\\loop.ocx", Image({{"loopa.dll", {}}})},
        {"C:\\x\\loopa.dll", Image({{"loopb.dll", {}}, {"nowhere.dll", {}}})},
        {"C:\\x\\loopb.dll", Image({{"loopa.dll", {}}, {"loop.ocx", {}}})},
        {"C:\\x\\found.ocx", Image({{"inbin.dll", {}}, {"incwd.dll", {}}, {"inwin.dll", {}}, {"both.dll", {}}})},
        {"C:\\bin\\inbin.dll", Image({})},
        {"C:\\cwd\\incwd.dll", Image({})},
        {"C:\\Windows\\inwin.dll", Image({})},
        {"C:\\x\\both.dll", Image({})},
        {"C:\\Windows\\system32\\both.dll", Image({}, {}, X64)},
        {"C:\\x\\system.ocx", Image({{"sys.dll", {}}})},
        {"C:\\Windows\\system32\\sys.dll", Image({}, {}, X64)},
        {"C:\\bin\\sys.dll", Image({})},
        {"C:\\x\\apiset.ocx",
         Image({{"api-ms-win-crt-runtime-l1-1-0.dll", {}}, {"EXT-MS-win-x.dll", {}}, {"user32.dll", {}}})},
        {"C:\\x\\delay.ocx", Image({}, {}, X86, true, false, {{"nowhere.dll", {"A"}}})},
        {"C:\\x\\wide.ocx", Image({{"incwd.dll", {}}}, {}, X64)},
        {"C:\\x\\names.ocx", Image({{"exp.dll", {"Bar", "Foo"}}})},
        {"C:\\x\\exp.dll", Image({}, {"Bar", "Baz", "C"})},
        {"C:\\x\\ordinals.ocx", Image({{"exp64.dll", {"#2", "#4"}}}, {}, X64)},
        {"C:\\x\\exp64.dll", Image({}, {"A", "B", "C"}, X64)},
        {"C:\\x\\deeper.ocx", Image({{"exp.dll", {"Bar", "#3"}}, {"usesk.dll", {"A"}}})},
        {"C:\\x\\usesk.dll", Image({{"kernel32.dll", {"Old", "New"}}}, {"A"})},
        {"C:\\Windows\\system32\\kernel32.dll", Image({}, {"Old"})},
        {"C:\\x\\program.exe", Image({}, {}, X86, false)},
        {"C:\\x\\assembly.dll", Image({}, {}, X86, false, true)},
        {"C:\\x\\classes.dll", Image({}, {"DllCanUnloadNow", "DllGetClassObject"})},
        {"C:\\x\\plain.dll", Image({}, {"DllGetClassObjectEx", "Other"})},
        {"C:\\x\\text.dll", std::vector<unsigned char>(512, 'M')},
    };
}

TEST(Diagnose, EachCauseInItsWords)
{
    const std::string notFound = ", was not found in C:\\x, the system folder or PATH.";
    const std::string admin = "Registering for all users needs administrator rights: run TolVane as administrator, "
                              "or register for yourself alone with /C.";
    const std::string host = "The component's .NET host reports that ";
    const struct
    {
        const char *component;
        uint32_t code;
        uint16_t machine;
        bool elevated;
        std::string text;
    } cases[] = {
        {"missing.ocx", 126, X86, true, "nowhere.dll, needed by missing.ocx" + notFound},
        {"chain.ocx", 126, X86, true, "depb.dll, needed by depa.dll (which chain.ocx needs)" + notFound},
        {"deep.ocx", 126, X86, true,
         "depb.dll, needed by depa.dll (which deep1.dll needs, which deep.ocx needs)" + notFound},
        {"loop.ocx", 126, X86, true, "nowhere.dll, needed by loopa.dll (which loop.ocx needs)" + notFound},
        {"found.ocx", 126, X86, true, ""}, // PATH, the current and Windows folders; the own folder first
        {"system.ocx", 193, X86, true,
         "sys.dll in C:\\Windows\\system32 is a 64-bit DLL; system.ocx needs a 32-bit one."},
        {"wide.ocx", 126, X64, true, "incwd.dll in C:\\cwd is a 32-bit DLL; wide.ocx needs a 64-bit one."},
        {"wide.ocx", 126, X86, true, ""}, // the twin's to load
        {"apiset.ocx", 126, X86, true, ""},
        {"delay.ocx", 126, X86, true, ""},
        {"names.ocx", 127, X86, true, "names.ocx imports Foo from exp.dll, which does not export it."},
        {"ordinals.ocx", 127, X64, true, "ordinals.ocx imports #4 from exp64.dll, which does not export it."},
        {"deeper.ocx", 127, X86, true, "usesk.dll imports New from kernel32.dll, which does not export it."},
        {"chain.ocx", 127, X86, true, ""},
        {"program.exe", 0xFFFFFFFF, X86, true,
         "This is a program, not a component: a COM server in a program registers itself with program.exe /RegServer."},
        {"assembly.dll", 0xFFFFFFFF, X86, true,
         "This is a .NET assembly: register it with regasm /codebase (.NET Framework), or register its .comhost.dll "
         "(.NET 5 and later)."},
        {"classes.dll", 0xFFFFFFFF, X86, true,
         "It is a COM component that does not register itself: its installer writes its keys."},
        {"plain.dll", 0xFFFFFFFF, X86, true, "It is not a COM component."},
        {"text.dll", 0xFFFFFFFF, X86, true, ""},
        {"grid.ocx", 5, X86, false, admin},
        {"grid.ocx", 0x80070005, X86, true, ""},
        {"grid.ocx", 0x80004005, X86, false, ""},
        {"grid.ocx", 0x80008096, X86, true, host + "the .NET runtime that it needs is not installed."},
    };
    InstallFiles();
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.component);
        reads.clear();
        elevated = c.elevated;
        EXPECT_EQ(Explain(static_cast<int32_t>(c.code), c.component, c.machine), c.text) << std::hex << c.code;
        for (const auto &read : reads)
            EXPECT_EQ(read.second, 1) << read.first;
    }
}

TEST(PeFile, HostileImagesAreReadSafely)
{
    const std::vector<unsigned char> good =
        Image({{"depa.dll", {"A", "#3"}}, {"depb.dll", {"B"}}}, {"A", "DllGetClassObject"});
    const size_t optional = 0x58, exports = ReadLittle32(&good[optional + 96]) - 0x1000 + 0x200;
    auto with = [&](size_t at, uint32_t value, size_t width) {
        std::vector<unsigned char> bytes = good;
        for (size_t i = 0; i < width; i++)
            bytes.at(at + i) = static_cast<unsigned char>(value >> 8 * i);
        return bytes;
    };
    const struct
    {
        const char *what;
        std::vector<unsigned char> bytes;
        bool exports; // DllGetClassObject still found
        bool missing; // 126 still names depa.dll
    } cases[] = {
        {"as built", good, true, true},
        {"PE header beyond the file", with(0x3C, 0xFFFFFFF0, 4), false, false},
        {"optional header larger than the file", with(0x54, 0xFFFF, 2), false, false},
        {"section's raw data beyond the file", with(optional + 0xE0 + 20, 0x7FFFFFF0, 4), false, false},
        {"import table beyond the file", with(optional + 96 + 8, 0x7FFFFFF0, 4), true, false},
        {"export table beyond the file", with(optional + 96, 0xFFFFFFF0, 4), false, true},
        {"two billion export names", with(exports + 24, 0x7FFFFFFF, 4), false, true},
        {"export table past the section's raw data",
         with(optional + 0xE0 + 16, static_cast<uint32_t>(exports - 0x200), 4), false, true},
        {"last export name cut before its end", std::vector<unsigned char>(good.begin(), good.end() - 1), false, true},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ExportsName(c.bytes.data(), c.bytes.size(), "DllGetClassObject"), c.exports);
        files = {{"C:\\x\\grid.ocx", c.bytes}, {"C:\\x\\depb.dll", c.bytes}};
        EXPECT_EQ(Explain(126).rfind("depa.dll, needed by grid.ocx", 0) == 0, c.missing);
        Explain(127);
    }
    // Every cut and every byte set to 0xFF: the reader stays inside the bytes (ASan) and ends.
    for (size_t i = 0; i < good.size(); i++)
    {
        std::vector<unsigned char> cut(good.begin(), good.begin() + i), flipped = good;
        flipped[i] = 0xFF;
        for (const auto *bytes : {&cut, &flipped})
        {
            files = {{"C:\\x\\grid.ocx", *bytes}, {"C:\\x\\depa.dll", *bytes}};
            Explain(126), Explain(127), Explain(-1);
            ExportsName(bytes->data(), bytes->size(), "A");
        }
    }
}

} // namespace
