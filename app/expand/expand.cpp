#include "app/expand/expand.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/pe_file.h"
#include "app/paths/path_parts.h"
#include "app/results_table.h"
#include "base/pe_image.h"

static const char SUMMARY_PREFIX[] = "/*matched:";
static const char UNEXPANDED_PREFIX[] = "/*unexpanded:";

static bool IsWildcard(char c)
{
    return c == '*' || c == '?';
}

// Whether a wildcard stands in [begin, end), whole characters only.
static bool HasWildcard(const char *begin, const char *end, LeadByteTest isLeadByte)
{
    for (const char *at = begin; at < end; at += CharacterLength(at, isLeadByte))
        if (IsWildcard(*at))
            return true;
    return false;
}

PatternPlace FindPattern(const char *argument, LeadByteTest isLeadByte)
{
    // The "\\?\" and "\\.\" prefixes are no patterns.
    const char *start = argument;
    if ((std::strncmp(argument, "\\\\?\\", 4) == 0 || std::strncmp(argument, "\\\\.\\", 4) == 0))
        start += 4;
    const char *last = FileNamePart(start, isLeadByte);
    if (HasWildcard(start, last, isLeadByte))
        return PATTERN_FOLDER;
    return HasWildcard(last, last + std::strlen(last), isLeadByte) ? PATTERN_LAST : PATTERN_NONE;
}

// The same character at a and b: ASCII letters in either case; lengths as CharacterLength.
static bool SameCharacter(const char *a, size_t aLength, const char *b, size_t bLength)
{
    if (aLength != bLength)
        return false;
    return aLength == 1 ? FoldCase(*a) == FoldCase(*b) : a[0] == b[0] && a[1] == b[1];
}

bool MatchesPattern(const char *pattern, const char *name, LeadByteTest isLeadByte)
{
    if (std::strcmp(pattern, "*.*") == 0)
        return true;
    // The last '*' seen, and the name where its run would end next: a mismatch takes one more
    // character into that run.
    const char *star = nullptr;
    const char *resume = nullptr;
    while (*name != '\0')
    {
        const size_t nameLength = CharacterLength(name, isLeadByte);
        if (*pattern == '*')
        {
            star = ++pattern;
            resume = name;
            continue;
        }
        const size_t patternLength = *pattern != '\0' ? CharacterLength(pattern, isLeadByte) : 0;
        if (*pattern != '\0' && (*pattern == '?' || SameCharacter(pattern, patternLength, name, nameLength)))
        {
            pattern += patternLength;
            name += nameLength;
        }
        else if (star != nullptr)
        {
            pattern = star;
            resume += CharacterLength(resume, isLeadByte);
            name = resume;
        }
        else
            return false;
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == '\0';
}

int CompareNames(const char *a, const char *b)
{
    size_t i = 0;
    for (; a[i] != '\0' && FoldCase(a[i]) == FoldCase(b[i]); i++)
        ;
    const int folded = static_cast<unsigned char>(FoldCase(a[i])) - static_cast<unsigned char>(FoldCase(b[i]));
    return folded != 0 ? folded : std::strcmp(a, b);
}

// The extensions of the files a folder stands for, and, as a plain argument is taken as a file
// without asking, a program's.
static bool IsComponentExtension(const char *extension, bool orProgram)
{
    static const char *const EXTENSIONS[] = {".dll", ".ocx", ".ax", ".tlb", ".olb", ".exe"};
    for (size_t i = 0; i < sizeof EXTENSIONS / sizeof EXTENSIONS[0] - (orProgram ? 0 : 1); i++)
        if (SameIgnoringCase(extension, EXTENSIONS[i], NoLeadBytes))
            return true;
    return false;
}

bool HasComponentExtension(const char *name, LeadByteTest isLeadByte)
{
    PathParts parts;
    SplitPath(name, isLeadByte, &parts);
    return IsComponentExtension(parts.extension, false);
}

static bool NamesAFile(const char *argument, LeadByteTest isLeadByte)
{
    PathParts parts;
    SplitPath(argument, isLeadByte, &parts);
    return IsComponentExtension(parts.extension, true);
}

bool IsComponentFor(const unsigned char *bytes, size_t size, const Modes &modes, bool unregister)
{
    if (IsTypeLibrary(bytes, size))
        return modes.install == nullptr;
    const char *names[2];
    int count = CalledEntryPoints(modes, unregister, names);
    if (count == 0)
        names[count++] = RegisterCallName(modes, unregister);
    for (int i = 0; i < count; i++)
        if (!ExportsName(bytes, size, names[i]))
            return false;
    return true;
}

// A growing list of strings, with a flag and an origin for each when they are arguments.
struct StringList
{
    int count;
    int capacity;
    char **values;
    bool *flags;
    int *origin;
};

static bool Push(StringList *list, char *value, bool flag = false, int origin = -1)
{
    if (value == nullptr)
        return false;
    if (list->count == list->capacity)
    {
        const int capacity = list->capacity > 0 ? 2 * list->capacity : 16;
        char **values = static_cast<char **>(std::realloc(list->values, (capacity + 1) * sizeof(char *)));
        if (values != nullptr)
            list->values = values;
        bool *flags = static_cast<bool *>(std::realloc(list->flags, (capacity + 1) * sizeof(bool)));
        if (flags != nullptr)
            list->flags = flags;
        int *origins = static_cast<int *>(std::realloc(list->origin, (capacity + 1) * sizeof(int)));
        if (origins != nullptr)
            list->origin = origins;
        if (values == nullptr || flags == nullptr || origins == nullptr)
        {
            if (origin < 0)
                std::free(value);
            return false;
        }
        list->capacity = capacity;
    }
    list->values[list->count] = value;
    list->flags[list->count] = flag;
    list->origin[list->count] = origin;
    list->count++;
    list->values[list->count] = nullptr;
    return true;
}

// Frees the strings made here (origin -1) and the arrays.
static void FreeList(StringList *list)
{
    for (int i = 0; i < list->count; i++)
        if (list->origin[i] < 0)
            std::free(list->values[i]);
    std::free(list->values);
    std::free(list->flags);
    std::free(list->origin);
    *list = StringList{};
}

static char *Concatenate(const char *a, const char *b)
{
    const size_t aLength = std::strlen(a), bLength = std::strlen(b);
    char *text = static_cast<char *>(std::malloc(aLength + bLength + 1));
    if (text != nullptr)
    {
        std::memcpy(text, a, aLength);
        std::memcpy(text + aLength, b, bLength + 1);
    }
    return text;
}

// The names of a folder's files that a pattern matches (null pattern: a component's extension).
struct Listing
{
    const char *pattern;
    LeadByteTest isLeadByte;
    StringList names;
    bool failed; // out of memory
};

static void TakeEntry(const char *name, bool folder, void *context)
{
    Listing *listing = static_cast<Listing *>(context);
    const bool wanted = listing->pattern != nullptr ? MatchesPattern(listing->pattern, name, listing->isLeadByte)
                                                    : HasComponentExtension(name, listing->isLeadByte);
    if (!folder && wanted && !listing->failed)
        listing->failed = !Push(&listing->names, Concatenate(name, ""));
}

static int CompareEntries(const void *a, const void *b)
{
    return CompareNames(*static_cast<char *const *>(a), *static_cast<char *const *>(b));
}

// The files of folder (a full path ending in a separator) that pattern matches, in name order, into
// out: the summary, then the full path of each component. False when memory ran out.
static bool ExpandFolder(const char *argument, const char *folder, const char *pattern, const Modes &modes,
                         bool unregister, const ExpandOps &ops, StringList *out)
{
    Listing listing = {pattern, ops.isLeadByte, {}, false};
    if (!ops.listFolder(folder, TakeEntry, &listing))
        listing.names.count = 0;
    bool complete = !listing.failed;
    if (listing.names.count > 1)
        std::qsort(listing.names.values, static_cast<size_t>(listing.names.count), sizeof(char *), CompareEntries);
    StringList components = {};
    int skipped = 0;
    for (int i = 0; complete && i < listing.names.count; i++)
    {
        char *path = Concatenate(folder, listing.names.values[i]);
        unsigned char *bytes = nullptr;
        size_t size = 0;
        const bool component =
            path != nullptr && ops.readFile(path, &bytes, &size) && IsComponentFor(bytes, size, modes, unregister);
        std::free(bytes);
        if (component)
            complete = Push(&components, path);
        else
        {
            std::free(path);
            skipped++;
        }
        complete = complete && path != nullptr;
    }
    complete = complete && Push(out, MakeSummaryArgument(components.count, skipped, argument));
    for (int i = 0; complete && i < components.count; i++)
    {
        complete = Push(out, components.values[i]);
        components.values[i] = nullptr;
    }
    FreeList(&components);
    FreeList(&listing.names);
    return complete;
}

// Expands a pattern (pattern: true) or a folder argument into out.
static bool ExpandOne(const char *argument, bool pattern, const Modes &modes, bool unregister, const ExpandOps &ops,
                      StringList *out)
{
    char full[2 * PATH_BUFFER_SIZE];
    if (!ops.fullPath(argument, full, sizeof full))
        return Push(out, MakeSummaryArgument(0, 0, argument));
    const char *last = FileNamePart(full, ops.isLeadByte);
    if (pattern)
    {
        char *folder = Concatenate(full, "");
        if (folder == nullptr)
            return false;
        folder[last - full] = '\0';
        const bool complete = ExpandFolder(argument, folder, last, modes, unregister, ops, out);
        std::free(folder);
        return complete;
    }
    char *folder = Concatenate(full, last[0] != '\0' ? "\\" : "");
    const bool complete = folder != nullptr && ExpandFolder(argument, folder, nullptr, modes, unregister, ops, out);
    std::free(folder);
    return complete;
}

bool ExpandArguments(int argc, char **argv, const bool *unrepresentable, bool unregister, const ExpandOps &ops,
                     ExpandedArguments *out)
{
    StringList list = {};
    Modes modes = {};
    bool complete = true;
    for (int i = 0; complete && i < argc; i++)
    {
        const char *argument = argv[i];
        const bool lossy = unrepresentable != nullptr && unrepresentable[i];
        const ArgumentKind kind = i > 0 && !lossy ? ClassifyArgument(argument) : ARGUMENT_COMPONENT;
        if (kind == ARGUMENT_UNREGISTER)
            unregister = true;
        else if (kind != ARGUMENT_SILENT && kind != ARGUMENT_COMPONENT)
            ApplyOption(argument, nullptr, &modes);
        const PatternPlace place =
            i > 0 && !lossy && kind == ARGUMENT_COMPONENT ? FindPattern(argument, ops.isLeadByte) : PATTERN_NONE;
        if (kind == ARGUMENT_EXPANSION_ROW)
            continue;
        if (place == PATTERN_FOLDER)
            complete = Push(&list, MakeUnexpandedArgument(argument));
        else if (place == PATTERN_LAST)
            complete = ExpandOne(argument, true, modes, unregister, ops, &list);
        else if (i > 0 && !lossy && kind == ARGUMENT_COMPONENT && !NamesAFile(argument, ops.isLeadByte) &&
                 ops.isFolder(argument))
            complete = ExpandOne(argument, false, modes, unregister, ops, &list);
        else
            complete = Push(&list, argv[i], lossy, i);
    }
    if (!complete)
    {
        FreeList(&list);
        return false;
    }
    *out = ExpandedArguments{list.count, list.values, list.flags, list.origin};
    return true;
}

void FreeExpandedArguments(ExpandedArguments *expanded)
{
    StringList list = {expanded->count, expanded->count, expanded->values, expanded->unrepresentable, expanded->origin};
    FreeList(&list);
    *expanded = ExpandedArguments{};
}

char *MakeSummaryArgument(int components, int skipped, const char *argument)
{
    const size_t size = sizeof SUMMARY_PREFIX + 2 * 12 + std::strlen(argument);
    char *text = static_cast<char *>(std::malloc(size));
    if (text != nullptr)
        std::snprintf(text, size, "%s%d:%d:%s", SUMMARY_PREFIX, components, skipped, argument);
    return text;
}

char *MakeUnexpandedArgument(const char *argument)
{
    return Concatenate(UNEXPANDED_PREFIX, argument);
}

// A count in decimal that ends in a colon; false for anything else.
static bool ReadCount(const char **at, int *value)
{
    const char *start = *at;
    long long count = 0;
    for (; **at >= '0' && **at <= '9' && count <= MAX_RESULT_ROWS * 1000LL; (*at)++)
        count = count * 10 + (**at - '0');
    if (*at == start || **at != ':' || count > MAX_RESULT_ROWS * 1000LL)
        return false;
    (*at)++;
    *value = static_cast<int>(count);
    return true;
}

bool ParseExpansionArgument(const char *privateArgument, ExpansionRow *row)
{
    *row = ExpansionRow{};
    if (std::strncmp(privateArgument, UNEXPANDED_PREFIX, sizeof UNEXPANDED_PREFIX - 1) == 0)
    {
        row->unexpanded = true;
        row->argument = privateArgument + sizeof UNEXPANDED_PREFIX - 1;
        return true;
    }
    const char *at = privateArgument + sizeof SUMMARY_PREFIX - 1;
    if (std::strncmp(privateArgument, SUMMARY_PREFIX, sizeof SUMMARY_PREFIX - 1) != 0 ||
        !ReadCount(&at, &row->components) || !ReadCount(&at, &row->skipped))
        return false;
    row->argument = at;
    return true;
}

// The summary's text: "3 components; 27 other files skipped (not self-registering)"; with none,
// "No components: ..." (its row then counts as not found).
static void ComposeSummaryText(int components, int skipped, const Modes &modes, char *text, size_t size)
{
    const char *reason = !modes.install     ? "not self-registering"
                         : modes.noRegister ? "no DllInstall"
                                            : "not self-registering with DllInstall";
    char found[64];
    if (components > 0)
        std::snprintf(found, sizeof found, "%d component%s", components, components == 1 ? "" : "s");
    else
        std::snprintf(found, sizeof found, "No components");
    if (skipped > 0)
        std::snprintf(text, size, "%s; %d other file%s skipped (%s)", found, skipped, skipped == 1 ? "" : "s", reason);
    else
        std::snprintf(text, size, "%s", found);
}

void AppendExpansionRow(const char *privateArgument, const Modes &modes, bool unregister)
{
    BeginComponent(nullptr, CallWords(modes, unregister));
    ExpansionRow row;
    const bool parsed = ParseExpansionArgument(privateArgument, &row);
    char *path = RowForArgument(parsed ? row.argument : privateArgument);
    if (path == nullptr)
        return;
    char text[ROW_TEXT_SIZE];
    if (row.unexpanded)
        AppendRow(path,
                  "TolVane expands '*' and '?' in a file's name only, not in the name of a folder: nothing was "
                  "loaded.",
                  RESULT_INVALID_NAME, ROW_OWN_TEXT);
    else if (!parsed || (row.components == 0 && row.skipped == 0))
        AppendNotFound(path);
    else
    {
        ComposeSummaryText(row.components, row.skipped, modes, text, sizeof text);
        // A summary tells what an argument stood for, not how its components fared.
        if (row.components > 0)
            AppendRow(path, text, 0, ROW_DONE_TEXT);
        else
            AppendRow(path, text, RESULT_COMPONENT_NOT_FOUND, ROW_OWN_TEXT);
    }
}
