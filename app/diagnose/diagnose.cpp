#include "app/diagnose/diagnose.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/paths/path_parts.h"
#include "base/pe_file.h"
#include "base/pe_image.h"
#include "base/run_state.h"

struct Walk
{
    const DiagnoseOps *ops;
    uint16_t machine;
    bool functions; // 127: look for a function a DLL lacks, not for a DLL that is missing
    char componentFolder[PATH_BUFFER_SIZE];
    const char *chain[DIAGNOSE_MAX_DEPTH]; // the component, then the modules that lead to the one walked
    char visited[DIAGNOSE_MAX_MODULES][PE_NAME_SIZE];
    size_t visitedCount;
    size_t bytesRead;
    bool stop; // an explanation is written, or a bound is reached
    char *text;
    size_t size;
    size_t length;
};

static void Say(Walk *walk, const char *part)
{
    AppendWhole(walk->text, walk->size, &walk->length, part, walk->ops->isLeadByte);
}

// A folder as FolderOf gives it, without its trailing separator unless it is a root ("C:\").
static void DropSeparator(char *folder)
{
    const size_t length = std::strlen(folder);
    if (length > 3 || (length > 1 && folder[1] != ':'))
        folder[length - 1] = '\0';
}

static void SayMissing(Walk *walk, size_t depth, const char *name)
{
    char folder[PATH_BUFFER_SIZE];
    std::strcpy(folder, walk->componentFolder);
    DropSeparator(folder);
    Say(walk, name);
    Say(walk, ", needed by ");
    Say(walk, walk->chain[depth]);
    for (size_t i = depth; i-- > 0;)
    {
        Say(walk, i + 1 == depth ? " (which " : ", which ");
        Say(walk, walk->chain[i]);
        Say(walk, i == 0 ? " needs)" : " needs");
    }
    Say(walk, ", was not found in ");
    Say(walk, folder);
    Say(walk, ", the system folder or PATH.");
}

static const char *Bitness(uint16_t machine)
{
    return machine == MACHINE_AMD64 ? "64-bit" : machine == MACHINE_I386 ? "32-bit" : nullptr;
}

static void SayOtherMachine(Walk *walk, size_t depth, const char *name, const char *path, uint16_t machine)
{
    char folder[PATH_BUFFER_SIZE];
    FolderOf(path, walk->ops->isLeadByte, folder);
    DropSeparator(folder);
    char kind[48];
    if (Bitness(machine) != nullptr)
        std::snprintf(kind, sizeof kind, " is a %s DLL; ", Bitness(machine));
    else
        std::snprintf(kind, sizeof kind, " is built for machine type 0x%04X; ", static_cast<unsigned>(machine));
    Say(walk, name);
    Say(walk, " in ");
    Say(walk, folder);
    Say(walk, kind);
    Say(walk, walk->chain[depth]);
    Say(walk, " needs a ");
    Say(walk, Bitness(walk->machine) != nullptr ? Bitness(walk->machine) : "matching");
    Say(walk, " one.");
}

// The first function that image imports from its dll-th DLL and that DLL lacks, said.
static bool SayLackingFunction(Walk *walk, size_t depth, const PeImage &image, size_t dll, const char *name,
                               const PeImage &dependency)
{
    PeImport import;
    for (size_t i = 0; ImportedFunction(image, dll, i, &import); i++)
    {
        if (import.byOrdinal ? ExportsOrdinal(dependency, import.ordinal) : ExportsNameOf(dependency, import.name))
            continue;
        char ordinal[8];
        std::snprintf(ordinal, sizeof ordinal, "#%u", static_cast<unsigned>(import.ordinal));
        Say(walk, walk->chain[depth]);
        Say(walk, " imports ");
        Say(walk, import.byOrdinal ? ordinal : import.name);
        Say(walk, " from ");
        Say(walk, name);
        Say(walk, ", which does not export it.");
        return true;
    }
    return false;
}

static bool Visited(Walk *walk, const char *name)
{
    for (size_t i = 0; i < walk->visitedCount; i++)
        if (SameIgnoringCase(walk->visited[i], name, walk->ops->isLeadByte))
            return true;
    return false;
}

// Walks the imports of image (chain[depth] is its name) in the loader's order, depth first.
static void WalkImports(Walk *walk, const PeImage &image, size_t depth)
{
    char name[PE_NAME_SIZE];
    for (size_t dll = 0; !walk->stop && ImportedDll(image, dll, name); dll++)
    {
        if (AfterIgnoringCase(name, "api-ms-") != nullptr || AfterIgnoringCase(name, "ext-ms-") != nullptr)
            continue;
        const bool seen = Visited(walk, name);
        if (seen && !walk->functions)
            continue;
        if (!seen)
        {
            if (walk->visitedCount == DIAGNOSE_MAX_MODULES)
            {
                walk->stop = true;
                return;
            }
            std::strcpy(walk->visited[walk->visitedCount++], name);
        }
        const bool known = walk->ops->isKnownDll(name);
        if (known && !walk->functions)
            continue;
        char path[PATH_BUFFER_SIZE];
        if (!walk->ops->findModule(name, walk->componentFolder, path, sizeof path))
        {
            if (!walk->functions)
            {
                SayMissing(walk, depth, name);
                walk->stop = true;
            }
            continue;
        }
        unsigned char *bytes = nullptr;
        size_t size = 0;
        if (!walk->ops->readFile(path, &bytes, &size))
            continue;
        walk->bytesRead += size;
        PeImage dependency;
        if (walk->bytesRead > DIAGNOSE_MAX_BYTES)
            walk->stop = true;
        else if (OpenPeImage(bytes, size, &dependency))
        {
            if (dependency.machine != walk->machine)
            {
                if (!walk->functions)
                {
                    SayOtherMachine(walk, depth, name, path, dependency.machine);
                    walk->stop = true;
                }
            }
            else if (walk->functions && SayLackingFunction(walk, depth, image, dll, name, dependency))
                walk->stop = true;
            else if (!seen && !known && depth + 1 < DIAGNOSE_MAX_DEPTH)
            {
                walk->chain[depth + 1] = name;
                WalkImports(walk, dependency, depth + 1);
            }
        }
        std::free(bytes);
    }
}

static bool ExplainImports(int32_t code, const char *fullPath, uint16_t programMachine, const DiagnoseOps &ops,
                           char *text, size_t size)
{
    unsigned char *bytes = nullptr;
    size_t count = 0;
    if (!ops.readFile(fullPath, &bytes, &count))
        return false;
    Walk *walk = static_cast<Walk *>(std::calloc(1, sizeof(Walk)));
    PeImage image;
    if (walk != nullptr && OpenPeImage(bytes, count, &image) && image.machine == programMachine)
    {
        walk->ops = &ops;
        walk->machine = programMachine;
        walk->functions = code == 127;
        walk->text = text;
        walk->size = size;
        walk->bytesRead = count;
        FolderOf(fullPath, ops.isLeadByte, walk->componentFolder);
        walk->chain[0] = FileNamePart(fullPath, ops.isLeadByte);
        // The component itself, so that an import that leads back to it ends there.
        CopyWholeCharacters(walk->visited[0], PE_NAME_SIZE, walk->chain[0],
                            walk->chain[0] + std::strlen(walk->chain[0]), ops.isLeadByte);
        walk->visitedCount = 1;
        WalkImports(walk, image, 0);
    }
    const bool said = walk != nullptr && walk->length > 0;
    std::free(walk);
    std::free(bytes);
    return said;
}

// Answers "Are you sure it is a registerable control ?" from the file's headers and exports.
static bool ExplainNoEntryPoint(const char *fullPath, const DiagnoseOps &ops, char *text, size_t size)
{
    unsigned char *bytes = nullptr;
    size_t count = 0;
    if (!ops.readFile(fullPath, &bytes, &count))
        return false;
    PeImage image;
    const char *said = nullptr;
    if (!OpenPeImage(bytes, count, &image))
        said = nullptr;
    else if (image.clr)
        said = "This is a .NET assembly: register it with regasm /codebase (.NET Framework), or register its "
               ".comhost.dll (.NET 5 and later).";
    else if (!image.dll)
        said = "This is a program, not a component: a COM server in a program registers itself with ";
    else if (ExportsNameOf(image, "DllGetClassObject"))
        said = "It is a COM component that does not register itself: its installer writes its keys.";
    else
        said = "It is not a COM component.";
    std::free(bytes);
    if (said == nullptr)
        return false;
    size_t length = 0;
    AppendWhole(text, size, &length, said, ops.isLeadByte);
    if (!image.dll && !image.clr) // the program's own name: "grid.exe /RegServer."
    {
        AppendWhole(text, size, &length, FileNamePart(fullPath, ops.isLeadByte), ops.isLeadByte);
        AppendWhole(text, size, &length, " /RegServer.", ops.isLeadByte);
    }
    return true;
}

// What the .NET hosting layer's codes mean, as its documentation gives them.
static const char *DotNetHostMeaning(uint32_t code)
{
    switch (code)
    {
    case 0x80008081:
        return "one of the arguments it was given is invalid";
    case 0x80008082:
        return "a hosting component (hostfxr, hostpolicy or coreclr) failed to load, most often because a DLL "
               "it needs, such as the C runtime, is missing";
    case 0x80008083:
        return "a hosting component (hostfxr, hostpolicy or coreclr) is missing: the .NET installation is "
               "incomplete";
    case 0x80008084:
        return "a hosting component lacks an entry point that it needs";
    case 0x80008085:
        return "the .NET installation could not be found from the host's own location";
    case 0x80008087:
        return "the coreclr library could not be found";
    case 0x80008088:
        return "the coreclr library failed to load or lacks an entry point";
    case 0x80008089:
        return "the .NET runtime failed to start";
    case 0x8000808A:
        return "the .NET runtime failed to run the assembly";
    case 0x8000808B:
        return "a .deps.json file is missing or invalid";
    case 0x8000808C:
        return "a file that a .deps.json file lists could not be found or resolved";
    case 0x8000808E:
        return "hostfxr and hostpolicy do not match: the .NET installation is damaged";
    case 0x80008091:
    case 0x8000809B:
        return "the .NET SDK that was asked for could not be found";
    case 0x80008092:
        return "hostpolicy was given invalid arguments";
    case 0x80008093:
        return "its .runtimeconfig.json file, or its CLSID map, is invalid";
    case 0x80008094:
        return "no application was named to run";
    case 0x80008095:
        return "the host could not tell which application to run";
    case 0x80008096:
        return "the .NET runtime that it needs is not installed";
    case 0x80008097:
        return "a host command failed";
    case 0x80008098:
        return "a buffer given to a hosting function is too small";
    case 0x8000809A:
        return "the application that the host names does not exist";
    case 0x8000809C:
        return "it references versions of one framework that do not go together";
    case 0x8000809D:
        return "its framework references could not be resolved";
    case 0x8000809F:
        return "a single-file bundle could not be extracted";
    case 0x800080A0:
        return "files could not be read or written while a single-file bundle was extracted";
    case 0x800080A1:
        return "its .runtimeconfig.json sets a property that the host sets itself";
    case 0x800080A2:
        return "it needs a newer version of the .NET hosting components";
    case 0x800080A3:
        return "the host's state does not allow the operation";
    case 0x800080A4:
        return "a runtime property that was asked for does not exist";
    case 0x800080A5:
        return "it needs a framework that does not go with the .NET runtime already loaded in this process";
    default:
        return nullptr;
    }
}

bool ExplainFailure(int32_t code, const char *fullPath, uint16_t programMachine, const DiagnoseOps &ops, char *text,
                    size_t size)
{
    if (size > 0)
        text[0] = '\0';
    const uint32_t system = static_cast<uint32_t>(code);
    size_t length = 0;
    switch (system)
    {
    case 126:
    case 193:
    case 127:
        return ExplainImports(code, fullPath, programMachine, ops, text, size);
    case static_cast<uint32_t>(RESULT_ENTRY_POINT_NOT_FOUND):
        return ExplainNoEntryPoint(fullPath, ops, text, size);
    case 5:
    case 0x80070005:
    case 0x8002801C:
        if (ops.isElevated())
            return false;
        AppendWhole(text, size, &length,
                    "Registering for all users needs administrator rights: run TolVane as administrator, or register "
                    "for yourself alone with /C.",
                    ops.isLeadByte);
        return true;
    default:
        break;
    }
    const char *meaning = DotNetHostMeaning(system);
    if (meaning == nullptr)
        return false;
    AppendWhole(text, size, &length, "The component's .NET host reports that ", ops.isLeadByte);
    AppendWhole(text, size, &length, meaning, ops.isLeadByte);
    AppendWhole(text, size, &length, ".", ops.isLeadByte);
    return true;
}

static const DiagnoseOps *rowOps;
static uint16_t rowMachine;

void UseDiagnosis(const DiagnoseOps &ops, uint16_t programMachine)
{
    rowOps = &ops;
    rowMachine = programMachine;
}

bool ExplainRow(int32_t code, RowKind kind, const char *fullPath, char *text, size_t size)
{
    const bool byCode = code == RESULT_ENTRY_POINT_NOT_FOUND || code == 126 || code == 127 || code == 193;
    return rowOps != nullptr && (!byCode || kind == ROW_BY_CODE) &&
           ExplainFailure(code, fullPath, rowMachine, *rowOps, text, size);
}
