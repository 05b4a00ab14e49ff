// The side-by-side manifest made from a recorded registration: what each recorded key becomes,
// what no element can hold, and the mistakes hand-made manifests are known for.
#include <gtest/gtest.h>

#include <cstdio>

#include <string>

#include "app/manifest/manifest.h"

namespace
{

const char A[] = "{11111111-2222-3333-4444-555555555555}";
const char B[] = "{66666666-7777-8888-9999-000000000000}";

// The recorded keys of a class served by file, with extra lines in the class's key.
std::string ClassKeys(const char *clsid, const char *file, const std::string &extra = "",
                      const std::string &serverExtra = "")
{
    return std::string("\r\n[HKEY_CLASSES_ROOT\\CLSID\\") + clsid + "]\r\n" + extra +
           "\r\n[HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\InprocServer32]\r\n@=\"C:\\\\dir\\\\" + file + "\"\r\n" +
           serverExtra;
}

std::string Key(const std::string &path, const std::string &values)
{
    return "\r\n[" + path + "]\r\n" + values;
}

TEST(Manifest, RecordedKeysBecomeElements)
{
    const std::string own = ClassKeys(A, "grid.ocx", "@=\"Grid\"\r\n");
    const std::string typeLibrary = "HKEY_LOCAL_MACHINE\\Software\\Classes\\TypeLib\\{L}\\1.a";
    const struct
    {
        std::string recording;
        const char *present; // in this order, in the manifest
        const char *absent;
        int notWritten;
    } cases[] = {
        // A class of the file, its threading model, ProgIDs and type library.
        {ClassKeys(A, "grid.ocx", "@=\"Grid\"\r\n", "\"ThreadingModel\"=\"Both\"\r\n") +
             Key(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + A + "\\ProgID", "@=\"Grid.Control.1\"\r\n") +
             Key(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + A + "\\VersionIndependentProgID", "@=\"Grid.Control\"\r\n") +
             Key(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + A + "\\TypeLib", "@=\"{L}\"\r\n") +
             Key("HKEY_CLASSES_ROOT\\Grid.Control.1\\CLSID", std::string("@=\"") + A + "\"\r\n"),
         "<comClass clsid=\"{11111111-2222-3333-4444-555555555555}\" threadingModel=\"Both\" "
         "progid=\"Grid.Control.1\" tlbid=\"{L}\" description=\"Grid\">\r\n      <progid>Grid.Control</progid>",
         nullptr, 0},
        // No threading model, no description: no attribute is written empty.
        {ClassKeys(A, "grid.ocx", "@=\"\"\r\n"), "<comClass clsid=\"{11111111-2222-3333-4444-555555555555}\"/>",
         "=\"\"", 0},
        // Values are escaped.
        {ClassKeys(A, "grid.ocx", "@=\"A & \\\"B\\\" <C> 'D'\"\r\n"),
         "description=\"A &amp; &quot;B&quot; &lt;C&gt; &apos;D&apos;\"", nullptr, 0},
        // A ProgID is written once per manifest: the second class that names it goes without.
        {own + Key(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + A + "\\ProgID", "@=\"Grid.Control\"\r\n") +
             ClassKeys(B, "grid.ocx") + Key(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + B + "\\ProgID",
                                            "@=\"grid.control\"\r\n"),
         "progid=\"Grid.Control\"", "progid=\"grid.control\"", 0},
        // The type library's version goes from hexadecimal to decimal; flags and MiscStatus by name.
        {own + Key(typeLibrary, "@=\"Grid types\"\r\n") + Key(typeLibrary + "\\0\\win32", "@=\"C:\\\\dir\\\\grid.ocx\"\r\n") +
             Key(typeLibrary + "\\FLAGS", "@=\"6\"\r\n") + Key(typeLibrary + "\\HELPDIR", "@=\"C:\\\\dir\\\\help\"\r\n") +
             Key(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + A + "\\MiscStatus\\1", "@=\"131473\"\r\n"),
         "miscStatusContent=\"recomposeonresize,cantlinkinside,insideout,activatewhenvisible,setclientsitefirst\"/>"
         "\r\n    <typelib tlbid=\"{L}\" version=\"1.10\" helpdir=\"help\" flags=\"CONTROL,HIDDEN\"/>\r\n  </file>",
         "version=\"1.a\"", 0},
        // A proxy/stub this file serves goes inside its file element; another's at assembly level.
        {own + Key("HKEY_CLASSES_ROOT\\Interface\\{I1}", "@=\"IOwn\"\r\n") +
             Key("HKEY_CLASSES_ROOT\\Interface\\{I1}\\ProxyStubClsid32", std::string("@=\"") + A + "\"\r\n") +
             Key("HKEY_CLASSES_ROOT\\Interface\\{I2}", "@=\"IDual\"\r\n") +
             Key("HKEY_CLASSES_ROOT\\Interface\\{I2}\\ProxyStubClsid32",
                 "@=\"{00020424-0000-0000-C000-000000000046}\"\r\n") +
             Key("HKEY_CLASSES_ROOT\\Interface\\{I2}\\TypeLib", "@=\"{L}\"\r\n\"Version\"=\"1.a\"\r\n"),
         "<comInterfaceProxyStub iid=\"{I1}\" name=\"IOwn\" proxyStubClsid32=\"{11111111-2222-3333-4444-555555555555}\"/>"
         "\r\n  </file>\r\n  <comInterfaceExternalProxyStub iid=\"{I2}\" name=\"IDual\" tlbid=\"{L}\" "
         "proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\"/>",
         nullptr, 0},
        // What no element holds goes into a comment: another file's class, categories, a vendor
        // key, a value the class key holds for nothing here.
        {ClassKeys(A, "grid.ocx", "@=\"Grid\"\r\n\"AppID\"=\"{P}\"\r\n") + ClassKeys(B, "other.dll") +
             Key(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + A + "\\Implemented Categories\\{C}", "") +
             Key("HKEY_LOCAL_MACHINE\\Software\\Vendor--Name", "\"Licensed\"=dword:00000001\r\n"),
         "  <!-- Not expressed in a manifest, so not written:\r\n"
         "       HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555} (AppID)\r\n"
         "       HKEY_CLASSES_ROOT\\CLSID\\{66666666-7777-8888-9999-000000000000}\r\n",
         "{66666666-7777-8888-9999-000000000000}\"", 5},
    };
    for (const auto &c : cases)
    {
        const ManifestSubject subject = {"grid.ocx", 0x014C, {2, 5, 0, 1}};
        RegText xml = {};
        ManifestSummary summary;
        ASSERT_TRUE(ComposeManifest(c.recording.c_str(), subject, &xml, &summary));
        const std::string text = xml.data;
        EXPECT_NE(text.find(c.present), std::string::npos) << text;
        if (c.absent != nullptr)
        {
            EXPECT_EQ(text.find(c.absent), std::string::npos) << text;
        }
        EXPECT_EQ(summary.notWritten, c.notWritten) << text;
        // A comment never holds two dashes in a row but where it opens and closes.
        const size_t open = text.find("<!--"), close = text.find("-->");
        if (open != std::string::npos)
        {
            EXPECT_EQ(text.find("--", open + 4), close) << text;
        }
        EXPECT_NE(text.find("<assemblyIdentity type=\"win32\" name=\"grid.sxs\" version=\"2.5.0.1\" "
                            "processorArchitecture=\"x86\"/>"),
                  std::string::npos);
        FreeText(&xml);
    }
}

// However many classes a component has, each is in its manifest and none is said to be left out.
TEST(Manifest, EveryClassOfALargeComponent)
{
    std::string recording;
    char clsid[40];
    for (int i = 0; i < 2000; i++)
    {
        std::snprintf(clsid, sizeof clsid, "{%08X-0000-0000-0000-000000000000}", i);
        recording += ClassKeys(clsid, "grid.ocx");
    }
    const ManifestSubject subject = {"grid.ocx", 0x014C, {1, 0, 0, 0}};
    RegText xml = {};
    ManifestSummary summary;
    ASSERT_TRUE(ComposeManifest(recording.c_str(), subject, &xml, &summary));
    EXPECT_EQ(summary.classes, 2000);
    EXPECT_EQ(summary.notWritten, 0);
    EXPECT_NE(std::string(xml.data).find("clsid=\"{000007CF-0000-0000-0000-000000000000}\""), std::string::npos);
    FreeText(&xml);
}

TEST(Manifest, TypeLibraryVersionIsDecimal)
{
    const struct
    {
        const char *hex;
        const char *decimal; // null: not a version
    } cases[] = {{"1.a", "1.10"}, {"1.0", "1.0"}, {"ff.10", "255.16"}, {"1", nullptr},
                 {"1.g", nullptr}, {"x.1", nullptr}, {"1.-1", nullptr}, {"10000.0", nullptr}};
    for (const auto &c : cases)
    {
        char out[32] = "";
        EXPECT_EQ(TypeLibraryVersion(c.hex, out, sizeof out), c.decimal != nullptr) << c.hex;
        if (c.decimal != nullptr)
        {
            EXPECT_STREQ(out, c.decimal);
        }
    }
}

TEST(Manifest, FileVersionAndPlace)
{
    // VS_VERSIONINFO: lengths and type (6 bytes), L"VS_VERSION_INFO" (32), padding (2), then
    // VS_FIXEDFILEINFO: signature, structure version, file version high and low.
    unsigned char info[64] = {};
    const unsigned char fixed[] = {0xBD, 0x04, 0xEF, 0xFE, 0, 0, 1, 0, 5, 0, 2, 0, 1, 0, 0, 0};
    std::copy(fixed, fixed + sizeof fixed, info + 40);
    uint16_t version[4] = {};
    EXPECT_TRUE(ReadFixedFileVersion(info, sizeof info, version));
    EXPECT_EQ(version[0] * 1000 + version[1] * 100 + version[2] * 10 + version[3], 2501);
    EXPECT_FALSE(ReadFixedFileVersion(info, 50, version));

    const struct
    {
        const char *folder;
        const char *file;
        const char *path; // null: does not fit
    } places[] = {{"C:\\dir", "grid.ocx", "C:\\dir\\grid.sxs.manifest"},
                  {"C:\\dir\\", "a.b.dll", "C:\\dir\\a.b.sxs.manifest"},
                  {"\\\\server\\share", "noext", "\\\\server\\share\\noext.sxs.manifest"},
                  {"C:\\a-much-longer-folder-name", "grid.ocx", nullptr}};
    for (const auto &c : places)
    {
        char out[40] = "";
        EXPECT_EQ(ManifestPath(c.folder, c.file, out, sizeof out), c.path != nullptr) << c.folder;
        if (c.path != nullptr)
        {
            EXPECT_STREQ(out, c.path);
        }
    }
}

} // namespace
