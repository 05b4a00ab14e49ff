#include "app/verify/verify.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/guard/call_state.h"
#include "base/bytes.h"
#include "app/platform.h"
#include "app/registry/reg_file.h"
#include "app/results_table.h"

// How telling a problem is: the row names the first of the lowest rank.
enum ProblemRank
{
    RANK_CLASS,         // a class missing, or naming another file
    RANK_TYPE_LIBRARY,  // a type library missing, or naming another file
    RANK_OBJECT,        // a class object that could not be had
    RANK_MISSING,       // another key or value missing
    RANK_VALUE,         // a value that differs
    RANK_NONE,
};

struct Check
{
    const RegFile *file;
    const VerifyOps *ops;
    bool currentUser;
    VerifyOutcome *outcome;
    int rank;
};

static void Note(Check *check, int rank, int32_t code, const char *sentence)
{
    check->outcome->problems++;
    if (rank >= check->rank)
        return;
    check->rank = rank;
    check->outcome->code = code;
    std::snprintf(check->outcome->first, sizeof check->outcome->first, "%s", sentence);
}

// Where the registry holds a recorded key: /C moves the classes to the user's and writes no other
// machine-wide key (false: not compared).
static bool RegistryKey(const RegFileKey &key, bool currentUser, char *out, size_t size)
{
    if (currentUser && key.classPath != nullptr)
        std::snprintf(out, size, "HKEY_CURRENT_USER\\Software\\Classes\\%s", key.classPath);
    else if (currentUser && AfterIgnoringCase(key.path, "HKEY_LOCAL_MACHINE\\") != nullptr)
        return false;
    else
        std::snprintf(out, size, "%s", key.path);
    return true;
}

// The first parts of a classes path after prefix ("CLSID\", 1 part: "{...}"; "TypeLib\", 2 parts:
// "{...}\1.0"), and the rest after them in *rest; false when the path is not under prefix.
static bool ItemOf(const char *classPath, const char *prefix, int parts, char *out, size_t size, const char **rest)
{
    const char *item = classPath != nullptr ? AfterIgnoringCase(classPath, prefix) : nullptr;
    if (item == nullptr || *item != '{')
        return false;
    const char *end = std::strchr(item, '\\');
    if (parts == 2 && end == nullptr)
        return false;
    if (parts == 2)
        end = std::strchr(end + 1, '\\');
    const size_t length = end != nullptr ? static_cast<size_t>(end - item) : std::strlen(item);
    if (length + 1 > size)
        return false;
    std::memcpy(out, item, length);
    out[length] = '\0';
    *rest = item + length;
    return true;
}

// True when no key before index names the same item.
static bool FirstOfItem(const RegFile &file, int index, const char *prefix, int parts, const char *item)
{
    for (int i = 0; i < index; i++)
    {
        char other[200];
        const char *rest = nullptr;
        if (ItemOf(file.keys[i].classPath, prefix, parts, other, sizeof other, &rest) && SameRegName(other, item))
            return false;
    }
    return true;
}

static void CountItems(const RegFile &file, VerifyOutcome *outcome)
{
    for (int i = 0; i < file.keyCount; i++)
    {
        char item[200];
        const char *rest = nullptr;
        if (ItemOf(file.keys[i].classPath, "CLSID\\", 1, item, sizeof item, &rest) &&
            FirstOfItem(file, i, "CLSID\\", 1, item))
            outcome->classes++;
        if (ItemOf(file.keys[i].classPath, "TypeLib\\", 2, item, sizeof item, &rest) &&
            FirstOfItem(file, i, "TypeLib\\", 2, item))
            outcome->typeLibraries++;
    }
}

// A value's data in words: a string quoted, a number in decimal, else its size.
static void Describe(uint32_t type, const unsigned char *bytes, size_t size, char *out, size_t outSize)
{
    if (type == 1 || type == 2)
        std::snprintf(out, outSize, "\"%s\"", reinterpret_cast<const char *>(bytes));
    else if (type == 4 && size == 4)
        std::snprintf(out, outSize, "%lu", static_cast<unsigned long>(ReadLittle32(bytes)));
    else
        std::snprintf(out, outSize, "%lu bytes of type %lu", static_cast<unsigned long>(size),
                      static_cast<unsigned long>(type));
}

// Texts are equal in any ASCII case, or, when both are paths, when they name the same file
// (a short name, another case, REG_EXPAND_SZ); other data byte for byte.
static bool SameValue(const RegFileValue &value, uint32_t type, const unsigned char *data, size_t size,
                      const VerifyOps &ops)
{
    if ((value.type == 1 || value.type == 2) && (type == 1 || type == 2))
    {
        const char *recorded = reinterpret_cast<const char *>(value.bytes);
        const char *held = reinterpret_cast<const char *>(data);
        if (value.type == type && SameRegName(recorded, held))
            return true;
        return std::strchr(recorded, '\\') != nullptr && std::strchr(held, '\\') != nullptr &&
               ops.sameFile(recorded, held);
    }
    return value.type == type && value.size == size && (size == 0 || std::memcmp(value.bytes, data, size) == 0);
}

// Reads a value into *data, terminated by two zero bytes: given, or a buffer of its own when the
// value does not fit (freed by the caller when it is not given).
static bool ReadValue(const VerifyOps &ops, const char *key, const char *name, int view, uint32_t *type,
                      unsigned char *given, size_t givenSize, unsigned char **data, size_t *size)
{
    *data = given;
    *size = givenSize - 2;
    if (!ops.readValue(key, name, view, type, given, size))
        return false;
    if (*size > givenSize - 2)
    {
        const size_t needed = *size;
        *data = static_cast<unsigned char *>(std::malloc(needed + 2));
        if (*data == nullptr || !ops.readValue(key, name, view, type, *data, size) || *size > needed)
        {
            std::free(*data);
            *data = given;
            return false;
        }
    }
    (*data)[*size] = (*data)[*size + 1] = 0;
    return true;
}

// The server of a class, or a type library's file: a value that names the component's file.
static bool NamesTheFile(const RegFileKey &key, const RegFileValue &value, char *item, size_t size)
{
    const char *rest = nullptr;
    if (value.name[0] != '\0')
        return false;
    if (ItemOf(key.classPath, "CLSID\\", 1, item, size, &rest))
        return SameRegName(rest, "\\InprocServer32") || SameRegName(rest, "\\LocalServer32");
    char library[200];
    if (!ItemOf(key.classPath, "TypeLib\\", 2, library, sizeof library, &rest))
        return false;
    const char *platform = std::strrchr(rest, '\\');
    if (platform == nullptr || platform == rest || AfterIgnoringCase(platform, "\\win") == nullptr)
        return false;
    std::snprintf(item, size, "%s", library);
    char *version = std::strchr(item, '\\');
    if (version != nullptr)
        *version = ' ';
    return true;
}

static void CompareValue(Check *check, const RegFileKey &key, const RegFileValue &value, const char *registryKey)
{
    unsigned char given[1024];
    unsigned char *data = nullptr;
    size_t size = 0;
    uint32_t type = 0;
    const bool found =
        ReadValue(*check->ops, registryKey, value.name, VIEW_OWN, &type, given, sizeof given, &data, &size);
    char item[200], sentence[2048];
    const bool server = NamesTheFile(key, value, item, sizeof item);
    const bool library = server && AfterIgnoringCase(key.classPath, "TypeLib\\") != nullptr;
    const int rank = !server ? RANK_MISSING : library ? RANK_TYPE_LIBRARY : RANK_CLASS;
    const int32_t code = !server ? RESULT_KEY_MISSING : library ? RESULT_LIBRARY_NOT_REGISTERED
                                                                : RESULT_CLASS_NOT_REGISTERED;
    if (!found)
    {
        std::snprintf(sentence, sizeof sentence, "%s has no %s value.", registryKey,
                      value.name[0] != '\0' ? value.name : "default");
        Note(check, rank, code, sentence);
    }
    else if (!SameValue(value, type, data, size, *check->ops))
    {
        char held[600], recorded[600];
        Describe(type, data, size, held, sizeof held);
        Describe(value.type, value.bytes, value.size, recorded, sizeof recorded);
        if (server && (type == 1 || type == 2))
            std::snprintf(sentence, sizeof sentence, "%s %s names %s, not this file.",
                          library ? "Type library" : "Class", item, reinterpret_cast<const char *>(data));
        else
            std::snprintf(sentence, sizeof sentence, "%s: %s is %s, not %s as this file registers it.", registryKey,
                          value.name[0] != '\0' ? value.name : "the default value", held, recorded);
        Note(check, server ? rank : RANK_VALUE, server ? code : RESULT_INVALID_VALUE, sentence);
    }
    if (data != given)
        std::free(data);
}

// A recorded key that the registry does not hold: its class or type library, once, when that is
// missing whole; else the key itself.
static void NoteMissingKey(Check *check, int index, const char *registryKey)
{
    const RegFileKey &key = check->file->keys[index];
    char item[200], sentence[1024];
    const char *rest = nullptr;
    const bool isClass = ItemOf(key.classPath, "CLSID\\", 1, item, sizeof item, &rest);
    const bool isLibrary = !isClass && ItemOf(key.classPath, "TypeLib\\", 2, item, sizeof item, &rest);
    if (isClass || isLibrary)
    {
        // The class's or library's own key, where the registry holds this one.
        char own[1200];
        std::snprintf(own, sizeof own, "%.*s", static_cast<int>(std::strlen(registryKey) - std::strlen(rest)),
                      registryKey);
        const int rank = isClass ? RANK_CLASS : RANK_TYPE_LIBRARY;
        const int32_t code = isClass ? RESULT_CLASS_NOT_REGISTERED : RESULT_LIBRARY_NOT_REGISTERED;
        if (!check->ops->keyExists(own, VIEW_OWN))
        {
            if (!FirstOfItem(*check->file, index, isClass ? "CLSID\\" : "TypeLib\\", isClass ? 1 : 2, item))
                return;
            char *version = std::strchr(item, '\\');
            if (version != nullptr)
                *version = ' ';
            std::snprintf(sentence, sizeof sentence, "%s %s is not registered.", isClass ? "Class" : "Type library",
                          item);
            Note(check, rank, code, sentence);
            return;
        }
        std::snprintf(sentence, sizeof sentence, "%s is missing.", registryKey);
        Note(check, rank, code, sentence);
        return;
    }
    std::snprintf(sentence, sizeof sentence, "%s is missing.", registryKey);
    Note(check, RANK_MISSING, RESULT_KEY_MISSING, sentence);
}

// /U /V: a key is left when one of its recorded values is, or, recorded without values, when it is.
static void NoteLeft(Check *check, int index, const char *registryKey, size_t *used)
{
    const RegFile &file = *check->file;
    bool left = true;
    for (int v = 0, own = 0; v < file.valueCount; v++)
    {
        if (file.values[v].key != index)
            continue;
        if (own++ == 0)
            left = false;
        unsigned char given[1024];
        unsigned char *data = nullptr;
        size_t size = 0;
        uint32_t type = 0;
        left = left || ReadValue(*check->ops, registryKey, file.values[v].name, VIEW_OWN, &type, given,
                                 sizeof given, &data, &size);
        if (data != given)
            std::free(data);
    }
    if (!left || !check->ops->keyExists(registryKey, VIEW_OWN))
        return;
    VerifyOutcome *outcome = check->outcome;
    outcome->code = RESULT_STILL_REGISTERED;
    const size_t length = std::strlen(registryKey);
    if (*used + length + 3 < sizeof outcome->first)
        *used += static_cast<size_t>(std::snprintf(outcome->first + *used, sizeof outcome->first - *used, "%s%s",
                                                   outcome->problems > 0 ? ", " : "", registryKey));
    outcome->problems++;
}

// Each class with an InprocServer32 key: its object, had through the real registry, comes from
// this file. False when the step was abandoned or the component crashed.
static bool HaveObjects(Check *check, const char *fullPath, uint32_t limitSeconds, const SystemOps &system,
                        EntryPointCrash *crash)
{
    const RegFile &file = *check->file;
    for (int i = 0; i < file.keyCount; i++)
    {
        char clsid[200], server[600], sentence[1024];
        const char *rest = nullptr;
        if (!ItemOf(file.keys[i].classPath, "CLSID\\", 1, clsid, sizeof clsid, &rest) ||
            !SameRegName(rest, "\\InprocServer32"))
            continue;
        int32_t result = 0;
        bool thisFile = false;
        server[0] = '\0';
        bool returned = false;
        if (!WatchedStep(system, limitSeconds, [&] {
                returned = check->ops->classServer(clsid, fullPath, &result, &thisFile, server, sizeof server, crash);
            }))
        {
            check->outcome->abandoned = true;
            return false;
        }
        if (!returned)
        {
            check->outcome->crashed = true;
            return false;
        }
        if (result != 0)
        {
            char reason[ENTRY_TEXT_SIZE];
            FormatSystemRowText(system.systemText, static_cast<uint32_t>(result), nullptr, reason, sizeof reason);
            std::snprintf(sentence, sizeof sentence, "Class %s: its object could not be had: %s", clsid, reason);
            Note(check, RANK_OBJECT, result, sentence);
        }
        else if (!thisFile)
        {
            std::snprintf(sentence, sizeof sentence, "Class %s: its object comes from %s, not this file.", clsid,
                          server);
            Note(check, RANK_CLASS, RESULT_CLASS_NOT_REGISTERED, sentence);
        }
        else
            check->outcome->objects++;
    }
    return true;
}

// The views where each class's InprocServer32 names the file it names in the program's own view;
// without such a class, the views that hold the first key.
static unsigned UsableViews(const Check &check)
{
    const RegFile &file = *check.file;
    unsigned views = VIEW_32 | VIEW_64;
    bool classes = false;
    for (int v = 0; v < file.valueCount; v++)
    {
        const RegFileKey &key = file.keys[file.values[v].key];
        char clsid[200], registryKey[1200];
        const char *rest = nullptr;
        if (!ItemOf(key.classPath, "CLSID\\", 1, clsid, sizeof clsid, &rest) || !SameRegName(rest, "\\InprocServer32") ||
            file.values[v].name[0] != '\0' || !RegistryKey(key, check.currentUser, registryKey, sizeof registryKey))
            continue;
        classes = true;
        const unsigned held = check.ops->keyViews(registryKey);
        for (unsigned view = VIEW_32; view <= VIEW_64; view++)
        {
            unsigned char given[1024];
            unsigned char *data = nullptr;
            size_t size = 0;
            uint32_t type = 0;
            const bool same = (held & view) != 0 &&
                              ReadValue(*check.ops, registryKey, "", static_cast<int>(view), &type, given,
                                        sizeof given, &data, &size) &&
                              SameValue(file.values[v], type, data, size, *check.ops);
            if (!same)
                views &= ~view;
            if (data != given)
                std::free(data);
        }
    }
    char first[1200];
    if (!classes && file.keyCount > 0 && RegistryKey(file.keys[0], check.currentUser, first, sizeof first))
        views &= check.ops->keyViews(first);
    return views;
}

void VerifyRecording(const char *recording, const char *fullPath, bool unregister, bool currentUser,
                     uint32_t limitSeconds, const SystemOps &system, const VerifyOps &ops, VerifyOutcome *outcome,
                     EntryPointCrash *crash)
{
    *outcome = VerifyOutcome{};
    RegFile file;
    ReadRegFile(recording, &file);
    Check check = {&file, &ops, currentUser, outcome, RANK_NONE};
    CountItems(file, outcome);
    int keys = 0, found = 0;
    size_t used = 0;
    for (int i = 0; i < file.keyCount; i++)
    {
        char registryKey[1200];
        if (!RegistryKey(file.keys[i], currentUser, registryKey, sizeof registryKey))
            continue;
        keys++;
        for (int v = 0; v < file.valueCount; v++)
            outcome->values += file.values[v].key == i;
        if (unregister)
            NoteLeft(&check, i, registryKey, &used);
        else if (!ops.keyExists(registryKey, VIEW_OWN))
            NoteMissingKey(&check, i, registryKey);
        else
        {
            found++;
            for (int v = 0; v < file.valueCount; v++)
                if (file.values[v].key == i)
                    CompareValue(&check, file.keys[i], file.values[v], registryKey);
        }
    }
    if (file.failed)
        Note(&check, RANK_MISSING, RESULT_OUT_OF_MEMORY, "Not verified: memory ran out.");
    if (!unregister && keys > 0 && found == 0)
        outcome->code = outcome->classes > 0         ? RESULT_CLASS_NOT_REGISTERED
                        : outcome->typeLibraries > 0 ? RESULT_LIBRARY_NOT_REGISTERED
                                                     : RESULT_KEY_MISSING;
    else if (!unregister && outcome->problems == 0 && HaveObjects(&check, fullPath, limitSeconds, system, crash) &&
             outcome->problems == 0)
        outcome->views = UsableViews(check);
    outcome->keys = keys;
    outcome->found = found;
    FreeRegFile(&file);
}

void ComposeVerifyText(const VerifyOutcome &outcome, bool unregister, char *text, size_t size)
{
    if (unregister)
    {
        if (outcome.problems == 0)
            std::snprintf(text, size, "Not registered: nothing that it registers is in the registry.");
        else
            std::snprintf(text, size, "Still registered: %d key%s left: %s.", outcome.problems,
                          outcome.problems == 1 ? "" : "s", outcome.first);
        return;
    }
    if (outcome.keys == 0)
    {
        std::snprintf(text, size, "Nothing to verify: the component writes no registry key.");
        return;
    }
    char counts[160] = "";
    size_t length = 0;
    if (outcome.classes > 0)
        length += static_cast<size_t>(std::snprintf(counts, sizeof counts, "%d class%s, ", outcome.classes,
                                                    outcome.classes == 1 ? "" : "es"));
    if (outcome.typeLibraries > 0)
        length += static_cast<size_t>(std::snprintf(counts + length, sizeof counts - length, "%d type librar%s, ",
                                                    outcome.typeLibraries, outcome.typeLibraries == 1 ? "y" : "ies"));
    if (outcome.found == 0)
    {
        // What is missing: the classes and type libraries, else the keys.
        if (length > 0)
            counts[length - 2] = '\0';
        else
            std::snprintf(counts, sizeof counts, "%d key%s", outcome.keys, outcome.keys == 1 ? "" : "s");
        std::snprintf(text, size, "Not registered: %s missing.", counts);
        return;
    }
    if (outcome.problems > 0)
    {
        if (outcome.problems == 1)
            std::snprintf(text, size, "%s", outcome.first);
        else
            std::snprintf(text, size, "%s %d more difference%s.", outcome.first, outcome.problems - 1,
                          outcome.problems == 2 ? "" : "s");
        return;
    }
    const char *views = outcome.views == (VIEW_32 | VIEW_64) ? "; for 32-bit and 64-bit programs"
                        : outcome.views == VIEW_32           ? "; for 32-bit programs"
                        : outcome.views == VIEW_64           ? "; for 64-bit programs"
                                                             : "";
    std::snprintf(text, size, "Registered as it registers itself: %s%d value%s%s%s.", counts, outcome.values,
                  outcome.values == 1 ? "" : "s", outcome.objects > 0 ? "; objects created" : "", views);
}

void AppendVerifyRow(char *path, const char *fullPath, const char *recorded, bool unregister, bool currentUser,
                     uint32_t limitSeconds, const SystemOps &system, const VerifyOps &ops)
{
    VerifyOutcome outcome;
    EntryPointCrash crash = {};
    VerifyRecording(recorded, fullPath, unregister, currentUser, limitSeconds, system, ops, &outcome, &crash);
    if (outcome.crashed)
    {
        AppendCrash(path, crash);
        return;
    }
    if (outcome.abandoned)
        return; // the watchdog's thread has its row
    char text[ROW_TEXT_SIZE];
    ComposeVerifyText(outcome, unregister, text, sizeof text);
    AppendRow(path, text, outcome.code, outcome.code == 0 ? ROW_DONE_TEXT : ROW_OWN_TEXT, true, outcome.code);
}
