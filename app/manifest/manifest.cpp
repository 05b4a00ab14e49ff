#include "app/manifest/manifest.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/paths/path_parts.h"
#include "base/bytes.h"

const char MANIFEST_ONLY_REGISTERS_TEXT[] =
    "Nothing was called: a side-by-side manifest (/M) describes what registering writes, not unregistering.";

static int FindKey(const RegFile &recording, const char *classPath)
{
    for (int i = 0; i < recording.keyCount; i++)
        if (recording.keys[i].classPath != nullptr && SameRegName(recording.keys[i].classPath, classPath))
            return i;
    return -1;
}

// A string value of the key at classPath ("" names the default value), marked as expressed with
// its key when use is set; null when there is none, or it is empty.
static const char *Value(RegFile &recording, const char *classPath, const char *name, bool use = true)
{
    const int key = FindKey(recording, classPath);
    if (key < 0)
        return nullptr;
    for (int i = 0; i < recording.valueCount; i++)
    {
        RegFileValue &value = recording.values[i];
        if (value.key != key || !SameRegName(value.name, name))
            continue;
        if (value.data == nullptr || value.data[0] == '\0')
            return nullptr;
        if (use)
            value.used = recording.keys[key].used = true;
        return value.data;
    }
    return nullptr;
}

// Marks a key as expressed, with all its values.
static void Use(RegFile &recording, const char *classPath)
{
    const int key = FindKey(recording, classPath);
    if (key < 0)
        return;
    recording.keys[key].used = true;
    for (int i = 0; i < recording.valueCount; i++)
        if (recording.values[i].key == key)
            recording.values[i].used = true;
}

// Marks every key at or below classPath as expressed.
static void UseTree(RegFile &recording, const char *classPath)
{
    for (int i = 0; i < recording.keyCount; i++)
    {
        const char *rest = recording.keys[i].classPath != nullptr ? AfterIgnoringCase(recording.keys[i].classPath, classPath) : nullptr;
        if (rest != nullptr && (*rest == '\0' || *rest == '\\'))
            Use(recording, recording.keys[i].classPath);
    }
}

// The file name part of a path (UTF-8), without quotes around the path.
static void FileNameOf(const char *path, char *out, size_t size)
{
    std::snprintf(out, size, "%s", FileNamePart(*path == '"' ? path + 1 : path, NoLeadBytes));
    const size_t length = std::strlen(out);
    if (length > 0 && out[length - 1] == '"')
        out[length - 1] = '\0';
}

// XML text: & < > " ' as entities; control characters left out.
static void AppendEscaped(RegText *xml, const char *text)
{
    for (; *text != '\0'; text++)
    {
        const unsigned char c = static_cast<unsigned char>(*text);
        if (c == '&')
            AppendText(xml, "&amp;");
        else if (c == '<')
            AppendText(xml, "&lt;");
        else if (c == '>')
            AppendText(xml, "&gt;");
        else if (c == '"')
            AppendText(xml, "&quot;");
        else if (c == '\'')
            AppendText(xml, "&apos;");
        else if (c >= 0x20 || c == '\t')
            AppendBytes(xml, text, 1);
    }
}

// name="value", escaped; nothing when value is null or empty.
static void AppendAttribute(RegText *xml, const char *name, const char *value)
{
    if (value == nullptr || value[0] == '\0')
        return;
    AppendText(xml, " ");
    AppendText(xml, name);
    AppendText(xml, "=\"");
    AppendEscaped(xml, value);
    AppendText(xml, "\"");
}

// The OLEMISC flags, by the names a manifest gives them.
static const char *const MISC_STATUS_NAMES[] = {
    "recomposeonresize", "onlyiconic",          "insertnotreplace",   "static",
    "cantlinkinside",    "canlinkbyole1",       "islinkobject",       "insideout",
    "activatewhenvisible", "renderingisdeviceindependent", "invisibleatruntime", "alwaysrun",
    "actslikebutton",    "actslikelabel",       "nouiactivate",       "alignable",
    "simpleframe",       "setclientsitefirst",  "imemode",            "ignoreactivatewhenvisible",
    "wantstomenumerge",  "supportsmultilevelundo"};

static const char *const TYPE_LIBRARY_FLAG_NAMES[] = {"RESTRICTED", "CONTROL", "HIDDEN", "HASDISKIMAGE"};

// A decimal number's flags by name, separated by commas, into out; false when text is not a
// number, or names a flag without a name.
static bool FlagNames(const char *text, const char *const *names, size_t count, char *out, size_t size)
{
    char *end = nullptr;
    const unsigned long flags = std::strtoul(text, &end, 10);
    out[0] = '\0';
    if (end == text || *end != '\0' || (count < 32 && flags >> count != 0))
        return false;
    size_t length = 0;
    for (size_t bit = 0; bit < count; bit++)
        if (flags & (1ul << bit))
            length += static_cast<size_t>(
                std::snprintf(out + length, length < size ? size - length : 0, "%s%s", length > 0 ? "," : "", names[bit]));
    return length < size;
}

// The miscStatus attributes: the key's default value, and its subkeys per aspect.
static void AppendMiscStatus(RegText *xml, RegFile &recording, const char *classKey)
{
    static const char *const ASPECTS[][2] = {
        {"", "miscStatus"}, {"\\1", "miscStatusContent"}, {"\\2", "miscStatusThumbnail"},
        {"\\4", "miscStatusIcon"}, {"\\8", "miscStatusDocPrint"}};
    for (const auto &aspect : ASPECTS)
    {
        char path[600];
        std::snprintf(path, sizeof path, "%s\\MiscStatus%s", classKey, aspect[0]);
        const char *value = Value(recording, path, "", false);
        char names[600];
        if (value == nullptr || !FlagNames(value, MISC_STATUS_NAMES, 22, names, sizeof names))
            continue;
        Value(recording, path, "");
        AppendAttribute(xml, aspect[1], names);
    }
}

// The ProgIDs written so far: each is written once in a manifest.
struct ProgIds
{
    const char *names[256];
    int count;
};

// True when progId is new to the manifest (it is then noted, and its own key expressed).
static bool TakeProgId(ProgIds *progIds, RegFile &recording, const char *progId)
{
    for (int i = 0; i < progIds->count; i++)
        if (SameRegName(progIds->names[i], progId))
            return false;
    if (progIds->count < 256)
        progIds->names[progIds->count++] = progId;
    UseTree(recording, progId);
    return true;
}

// One class served by the component's file.
static void AppendClass(RegText *xml, RegFile &recording, const char *clsid, ProgIds *progIds)
{
    char key[600], path[640];
    std::snprintf(key, sizeof key, "CLSID\\%s", clsid);
    const int classKey = FindKey(recording, key);
    if (classKey >= 0)
        recording.keys[classKey].used = true; // its values count one by one
    AppendText(xml, "    <comClass");
    AppendAttribute(xml, "clsid", clsid);
    std::snprintf(path, sizeof path, "%s\\InprocServer32", key);
    Value(recording, path, "");
    AppendAttribute(xml, "threadingModel", Value(recording, path, "ThreadingModel"));
    std::snprintf(path, sizeof path, "%s\\ProgID", key);
    const char *progId = Value(recording, path, "");
    AppendAttribute(xml, "progid", progId != nullptr && TakeProgId(progIds, recording, progId) ? progId : nullptr);
    std::snprintf(path, sizeof path, "%s\\TypeLib", key);
    AppendAttribute(xml, "tlbid", Value(recording, path, ""));
    AppendAttribute(xml, "description", Value(recording, key, ""));
    AppendMiscStatus(xml, recording, key);
    std::snprintf(path, sizeof path, "%s\\VersionIndependentProgID", key);
    const char *independent = Value(recording, path, "");
    if (independent != nullptr && TakeProgId(progIds, recording, independent))
    {
        AppendText(xml, ">\r\n      <progid>");
        AppendEscaped(xml, independent);
        AppendText(xml, "</progid>\r\n    </comClass>\r\n");
    }
    else
        AppendText(xml, "/>\r\n");
}

// The classes of the recording that the component's file serves, by their InprocServer32 keys
// (a class key with no value of its own is not in the recording): "{...}" each, in order, in
// clsids (40 bytes each).
static int OwnClasses(RegFile &recording, const char *fileName, char (*clsids)[40], int most)
{
    int count = 0;
    for (int i = 0; i < recording.keyCount && count < most; i++)
    {
        const char *path = recording.keys[i].classPath;
        const char *clsid = path != nullptr ? AfterIgnoringCase(path, "CLSID\\") : nullptr;
        const char *end = clsid != nullptr ? std::strchr(clsid, '\\') : nullptr;
        if (clsid == nullptr || *clsid != '{' || end == nullptr || !SameRegName(end, "\\InprocServer32") ||
            end - clsid >= 40)
            continue;
        char name[600];
        const char *serverPath = Value(recording, path, "", false);
        if (serverPath == nullptr)
            continue;
        FileNameOf(serverPath, name, sizeof name);
        if (!SameRegName(name, fileName))
            continue;
        std::memcpy(clsids[count], clsid, static_cast<size_t>(end - clsid));
        clsids[count++][end - clsid] = '\0';
    }
    return count;
}

static bool IsOwnClass(const char *clsid, const char (*classes)[40], int count)
{
    for (int i = 0; i < count; i++)
        if (SameRegName(classes[i], clsid))
            return true;
    return false;
}

// "TypeLib\{L}\1.a\0\win32" and the like: a type library's file, per version, locale and platform.
struct TypeLibraryFile
{
    char tlbid[40];
    char version[40];  // in the registry's hexadecimal
    char locale[40];   // hexadecimal
    char platform[40]; // win32, win64...
    const char *path;
};

static bool ReadTypeLibraryKey(RegFile &recording, int key, TypeLibraryFile *file)
{
    const char *path = recording.keys[key].classPath;
    const char *rest = path != nullptr ? AfterIgnoringCase(path, "TypeLib\\") : nullptr;
    if (rest == nullptr)
        return false;
    char parts[4][40];
    int count = 0;
    for (const char *at = rest; count < 4; count++)
    {
        const char *end = std::strchr(at, '\\');
        const size_t length = end != nullptr ? static_cast<size_t>(end - at) : std::strlen(at);
        if (length >= sizeof parts[0])
            return false;
        std::memcpy(parts[count], at, length);
        parts[count][length] = '\0';
        if (end == nullptr)
        {
            count++;
            break;
        }
        at = end + 1;
    }
    if (count != 4 || parts[0][0] != '{' || !AfterIgnoringCase(parts[3], "win"))
        return false;
    std::snprintf(file->tlbid, sizeof file->tlbid, "%s", parts[0]);
    std::snprintf(file->version, sizeof file->version, "%s", parts[1]);
    std::snprintf(file->locale, sizeof file->locale, "%s", parts[2]);
    std::snprintf(file->platform, sizeof file->platform, "%s", parts[3]);
    file->path = Value(recording, path, "", false);
    return file->path != nullptr;
}

// The help folder relative to the type library's own folder, where the manifest's files are: a
// manifest never names an absolute path that holds on one machine alone, where it can help it.
static const char *RelativeHelpFolder(const char *help, const char *libraryPath)
{
    if (help == nullptr)
        return "";
    if (*libraryPath == '"')
        libraryPath++;
    const char *name = FileNamePart(libraryPath, NoLeadBytes);
    const size_t length = name > libraryPath ? static_cast<size_t>(name - libraryPath) - 1 : 0;
    if (length == 0 || std::strlen(help) < length)
        return help;
    for (size_t i = 0; i < length; i++)
        if (FoldCase(help[i]) != FoldCase(libraryPath[i]))
            return help;
    if (help[length] == '\0' || ((help[length] == '\\' || help[length] == '/') && help[length + 1] == '\0'))
        return "";
    return help[length] == '\\' || help[length] == '/' ? help + length + 1 : help;
}

// The type library elements whose file is fileName.
static int AppendTypeLibraries(RegText *xml, RegFile &recording, const char *fileName)
{
    int count = 0;
    for (int i = 0; i < recording.keyCount; i++)
    {
        TypeLibraryFile file;
        char name[600], version[32];
        if (!ReadTypeLibraryKey(recording, i, &file) || !TypeLibraryVersion(file.version, version, sizeof version))
            continue;
        FileNameOf(file.path, name, sizeof name);
        if (!SameRegName(name, fileName))
            continue;
        char key[200], path[320];
        std::snprintf(key, sizeof key, "TypeLib\\%s\\%s", file.tlbid, file.version);
        Use(recording, key);
        std::snprintf(path, sizeof path, "%s\\%s", key, file.locale);
        Use(recording, path);
        std::snprintf(path, sizeof path, "%s\\%s\\%s", key, file.locale, file.platform);
        Use(recording, path);
        AppendText(xml, "    <typelib");
        AppendAttribute(xml, "tlbid", file.tlbid);
        AppendAttribute(xml, "version", version);
        std::snprintf(path, sizeof path, "%s\\HELPDIR", key);
        const char *helpFolder = Value(recording, path, "");
        Use(recording, path);
        // The one attribute that is written empty: every type library element must have it.
        AppendText(xml, " helpdir=\"");
        AppendEscaped(xml, RelativeHelpFolder(helpFolder, file.path));
        AppendText(xml, "\"");
        const unsigned long locale = std::strtoul(file.locale, nullptr, 16);
        char number[16];
        std::snprintf(number, sizeof number, "%lu", locale);
        AppendAttribute(xml, "resourceid", locale != 0 ? number : nullptr);
        std::snprintf(path, sizeof path, "%s\\FLAGS", key);
        const char *flags = Value(recording, path, "");
        char names[100];
        AppendAttribute(xml, "flags", flags != nullptr && FlagNames(flags, TYPE_LIBRARY_FLAG_NAMES, 4, names, sizeof names)
                                          ? names
                                          : nullptr);
        AppendText(xml, "/>\r\n");
        count++;
    }
    return count;
}

// The interfaces whose proxy/stub the file serves (own), or that another file serves (not own).
static int AppendInterfaces(RegText *xml, RegFile &recording, const char (*classes)[40], int classCount,
                            bool own)
{
    int count = 0;
    for (int i = 0; i < recording.keyCount; i++)
    {
        const char *path = recording.keys[i].classPath;
        const char *iid = path != nullptr ? AfterIgnoringCase(path, "Interface\\") : nullptr;
        if (iid == nullptr || *iid != '{' || std::strchr(iid, '\\') != nullptr)
            continue;
        char key[240];
        std::snprintf(key, sizeof key, "%s\\ProxyStubClsid32", path);
        const char *proxyStub = Value(recording, key, "", false);
        if (proxyStub == nullptr || IsOwnClass(proxyStub, classes, classCount) != own)
            continue;
        Value(recording, key, "");
        AppendText(xml, own ? "    <comInterfaceProxyStub" : "  <comInterfaceExternalProxyStub");
        AppendAttribute(xml, "iid", iid);
        AppendAttribute(xml, "name", Value(recording, path, ""));
        std::snprintf(key, sizeof key, "%s\\TypeLib", path);
        AppendAttribute(xml, "tlbid", Value(recording, key, ""));
        Use(recording, key);
        std::snprintf(key, sizeof key, "%s\\NumMethods", path);
        AppendAttribute(xml, "numMethods", Value(recording, key, ""));
        std::snprintf(key, sizeof key, "%s\\BaseInterface", path);
        AppendAttribute(xml, "baseInterface", Value(recording, key, ""));
        AppendAttribute(xml, "proxyStubClsid32", proxyStub);
        std::snprintf(key, sizeof key, "%s\\ProxyStubClsid", path);
        Use(recording, key);
        Use(recording, path);
        AppendText(xml, "/>\r\n");
        count++;
    }
    return count;
}

// A type library in a file of its own (not the component's), as another file element.
static int AppendOtherFiles(RegText *xml, RegFile &recording, const char *fileName)
{
    int count = 0;
    for (int i = 0; i < recording.keyCount; i++)
    {
        TypeLibraryFile file;
        char name[600];
        if (!ReadTypeLibraryKey(recording, i, &file) || recording.keys[i].used)
            continue;
        FileNameOf(file.path, name, sizeof name);
        if (SameRegName(name, fileName))
            continue;
        AppendText(xml, "  <file");
        AppendAttribute(xml, "name", name);
        AppendText(xml, ">\r\n");
        count += AppendTypeLibraries(xml, recording, name);
        AppendText(xml, "  </file>\r\n");
    }
    return count;
}

static const char *Architecture(uint16_t machine, RegFile &recording)
{
    switch (machine)
    {
    case 0x014C:
        return "x86";
    case 0x8664:
        return "amd64";
    case 0xAA64:
        return "arm64";
    case 0:
        break;
    default:
        return "*";
    }
    // A type library: the platform it was registered for.
    for (int i = 0; i < recording.keyCount; i++)
    {
        TypeLibraryFile file;
        if (ReadTypeLibraryKey(recording, i, &file))
            return SameRegName(file.platform, "win64") ? "amd64" : SameRegName(file.platform, "arm64") ? "arm64" : "x86";
    }
    return "*";
}

// "<assemblyIdentity type="win32" name="<base>.sxs" version="1.0.0.0" processorArchitecture="x86"/>"
static void ComposeIdentity(const ManifestSubject &subject, RegFile &recording, char *out, size_t size)
{
    char name[600], version[32];
    std::snprintf(name, sizeof name, "%s", subject.fileName);
    char *dot = std::strrchr(name, '.');
    if (dot != nullptr && dot != name)
        *dot = '\0';
    std::snprintf(version, sizeof version, "%u.%u.%u.%u", subject.version[0], subject.version[1], subject.version[2],
                  subject.version[3]);
    RegText text = {};
    AppendText(&text, "<assemblyIdentity type=\"win32\" name=\"");
    AppendEscaped(&text, name);
    AppendText(&text, ".sxs\" version=\"");
    AppendText(&text, version);
    AppendText(&text, "\" processorArchitecture=\"");
    AppendText(&text, Architecture(subject.machine, recording));
    AppendText(&text, "\"/>");
    std::snprintf(out, size, "%s", text.data != nullptr && !text.failed ? text.data : "");
    FreeText(&text);
}

// An XML comment's text: never two dashes in a row, nor one at its end.
static void AppendCommentText(RegText *xml, const char *text)
{
    for (; *text != '\0'; text++)
    {
        AppendBytes(xml, text, 1);
        if (*text == '-' && (text[1] == '-' || text[1] == '\0'))
            AppendText(xml, " ");
    }
}

// What no element expresses: in a comment of the manifest, and named in the summary.
static void NoteNotWritten(RegText *xml, RegFile &recording, ManifestSummary *summary)
{
    size_t used = 0;
    for (int i = 0; i < recording.keyCount; i++)
    {
        const RegFileKey &key = recording.keys[i];
        bool valueLeft = false;
        for (int v = 0; v < recording.valueCount; v++)
            valueLeft = valueLeft || (recording.values[v].key == i && !recording.values[v].used);
        if (key.used && !valueLeft)
            continue;
        for (int v = -1; v < recording.valueCount; v++)
        {
            // the key itself when nothing of it is expressed, else each value left out
            char name[700];
            if (v < 0 && !key.used)
                std::snprintf(name, sizeof name, "%s", key.path);
            else if (v >= 0 && key.used && recording.values[v].key == i && !recording.values[v].used)
                std::snprintf(name, sizeof name, "%s (%s)", key.path,
                              recording.values[v].name[0] != '\0' ? recording.values[v].name : "default value");
            else
                continue;
            if (summary->notWritten++ == 0)
                AppendText(xml, "  <!-- Not expressed in a manifest, so not written:\r\n");
            AppendText(xml, "       ");
            AppendCommentText(xml, name);
            AppendText(xml, "\r\n");
            const size_t length = std::strlen(name);
            if (used + length + 3 < MANIFEST_NOT_WRITTEN_SIZE)
            {
                used += static_cast<size_t>(std::snprintf(summary->notWrittenNames + used,
                                                          MANIFEST_NOT_WRITTEN_SIZE - used, "%s%s",
                                                          used > 0 ? ", " : "", name));
            }
        }
    }
    if (summary->notWritten > 0)
        AppendText(xml, "  -->\r\n");
}

bool ComposeManifest(const char *recording, const ManifestSubject &subject, RegText *xml, ManifestSummary *summary)
{
    *summary = ManifestSummary{};
    RegFile read;
    ReadRegFile(recording, &read);
    // An empty string says nothing that a manifest loses.
    for (int i = 0; i < read.valueCount; i++)
        read.values[i].used = read.values[i].data != nullptr && read.values[i].data[0] == '\0';
    // As many classes as the recording has keys, at most: the list grows with the component.
    char(*classes)[40] = static_cast<char(*)[40]>(std::malloc((read.keyCount > 0 ? read.keyCount : 1) * 40u));
    if (classes == nullptr)
    {
        FreeRegFile(&read);
        return false;
    }
    const int classCount = OwnClasses(read, subject.fileName, classes, read.keyCount);
    ComposeIdentity(subject, read, summary->identity, sizeof summary->identity);
    AppendText(xml, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n  ");
    AppendText(xml, summary->identity);
    AppendText(xml, "\r\n  <file");
    AppendAttribute(xml, "name", subject.fileName);
    AppendText(xml, ">\r\n");
    ProgIds progIds = {};
    for (int i = 0; i < classCount; i++)
    {
        AppendClass(xml, read, classes[i], &progIds);
        if (summary->checkCount < MANIFEST_CHECK_MAX)
            std::snprintf(summary->classIds[summary->checkCount++], sizeof summary->classIds[0], "%s", classes[i]);
    }
    summary->classes = classCount;
    summary->typeLibraries = AppendTypeLibraries(xml, read, subject.fileName);
    summary->interfaces = AppendInterfaces(xml, read, classes, classCount, true);
    AppendText(xml, "  </file>\r\n");
    summary->typeLibraries += AppendOtherFiles(xml, read, subject.fileName);
    summary->interfaces += AppendInterfaces(xml, read, classes, classCount, false);
    NoteNotWritten(xml, read, summary);
    AppendText(xml, "</assembly>\r\n");
    const bool done = !read.failed && !xml->failed;
    std::free(classes);
    FreeRegFile(&read);
    return done;
}

bool TypeLibraryVersion(const char *hex, char *out, size_t size)
{
    char *end = nullptr;
    const unsigned long major = std::strtoul(hex, &end, 16);
    if (end == hex || *end != '.' || major > 0xFFFF)
        return false;
    const char *minorText = end + 1;
    const unsigned long minor = std::strtoul(minorText, &end, 16);
    if (end == minorText || *end != '\0' || minor > 0xFFFF || hex[0] == '-' || minorText[0] == '-')
        return false;
    return static_cast<size_t>(std::snprintf(out, size, "%lu.%lu", major, minor)) < size;
}

bool ReadFixedFileVersion(const unsigned char *bytes, size_t size, uint16_t version[4])
{
    // VS_VERSIONINFO: its length, the value's length and type, L"VS_VERSION_INFO", then the
    // VS_FIXEDFILEINFO on a 32-bit boundary, which starts with its signature.
    for (size_t at = 4; at + 16 <= size && at < 128; at += 4)
    {
        if (ReadLittle32(bytes + at) != 0xFEEF04BDu)
            continue;
        const uint32_t high = ReadLittle32(bytes + at + 8);
        const uint32_t low = ReadLittle32(bytes + at + 12);
        version[0] = static_cast<uint16_t>(high >> 16);
        version[1] = static_cast<uint16_t>(high);
        version[2] = static_cast<uint16_t>(low >> 16);
        version[3] = static_cast<uint16_t>(low);
        return true;
    }
    return false;
}

bool ManifestPath(const char *folder, const char *fileName, char *out, size_t size)
{
    const char *dot = std::strrchr(fileName, '.');
    const int baseLength = static_cast<int>(dot != nullptr && dot != fileName ? dot - fileName : std::strlen(fileName));
    const size_t length = std::strlen(folder);
    const bool separator = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
    const int written =
        std::snprintf(out, size, "%s%s%.*s.sxs.manifest", folder, separator ? "" : "\\", baseLength, fileName);
    return written > 0 && static_cast<size_t>(written) < size;
}

void ComposeManifestText(const char *path, const ManifestSummary &summary, const ManifestCheck &check, char *text,
                         size_t size)
{
    RegText row = {};
    char part[1024];
    std::snprintf(part, sizeof part, "Wrote %s: %d class%s, %d type librar%s, %d interface%s", path, summary.classes,
                  summary.classes == 1 ? "" : "es", summary.typeLibraries, summary.typeLibraries == 1 ? "y" : "ies",
                  summary.interfaces, summary.interfaces == 1 ? "" : "s");
    AppendText(&row, part);
    if (check.result == 0)
        AppendText(&row, check.loaded ? "; checked."
                                      : "; checked: the system reads it and finds every class in it (their objects "
                                        "load once the component is beside it).");
    else
    {
        if (check.failedClass < 0)
            std::snprintf(part, sizeof part, ", but the check failed: the system refused the manifest: %s (0x%08X).",
                          check.reason, static_cast<unsigned>(check.result));
        else
            std::snprintf(part, sizeof part,
                          ", but the check failed: class %s could not be had through the manifest: %s (0x%08X).",
                          summary.classIds[check.failedClass], check.reason, static_cast<unsigned>(check.result));
        AppendText(&row, part);
    }
    std::snprintf(part, sizeof part,
                  " The application's manifest names it with: <dependency><dependentAssembly>%s</dependentAssembly>"
                  "</dependency>",
                  summary.identity);
    AppendText(&row, part);
    if (summary.notWritten > 0)
    {
        std::snprintf(part, sizeof part, " Not in the manifest (%d): %s", summary.notWritten, summary.notWrittenNames);
        AppendText(&row, part);
    }
    std::snprintf(text, size, "%s", row.data != nullptr ? row.data : "");
    FreeText(&row);
}
