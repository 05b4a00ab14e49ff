// The /M step of a registration: from the recording to the manifest's file, its check and its row.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/guard/call_state.h"
#include "app/manifest/manifest.h"
#include "app/results_table.h"
#include "base/pe_image.h"

// The folder /M writes into: its own, or the component's.
static void ManifestFolder(const char *option, const char *fullPath, LeadByteTest isLeadByte, char *out)
{
    if (option[2] == ':')
        std::snprintf(out, PATH_BUFFER_SIZE, "%s", option + 3);
    else
        FolderOf(fullPath, isLeadByte, out);
}

// The manifests this run has written: two components of one name in one folder (grid.dll and
// grid.ocx) would write the same one, and the second would replace the first's.
static char **writtenManifests;
static int writtenCount;

static bool WrittenBefore(const char *target)
{
    for (int i = 0; i < writtenCount; i++)
        if (SameRegName(writtenManifests[i], target))
            return true;
    return false;
}

static void NoteWritten(const char *target)
{
    char **grown = static_cast<char **>(
        std::realloc(writtenManifests, static_cast<size_t>(writtenCount + 1) * sizeof *writtenManifests));
    const size_t size = std::strlen(target) + 1;
    char *copy = grown != nullptr ? static_cast<char *>(std::malloc(size)) : nullptr;
    if (grown != nullptr)
        writtenManifests = grown;
    if (copy == nullptr)
        return;
    std::memcpy(copy, target, size);
    writtenManifests[writtenCount++] = copy;
}

void ForgetManifests()
{
    for (int i = 0; i < writtenCount; i++)
        std::free(writtenManifests[i]);
    writtenCount = 0;
}

// Writes the manifest to target; false with the system's error.
static bool WriteManifest(const char *fullPath, const char *recorded, const char *target, const SystemOps &system,
                          const ManifestOps &ops, ManifestSummary *summary, uint32_t *error)
{
    ManifestSubject subject = {};
    char fileName[PATH_BUFFER_SIZE * 3];
    ops.describeFile(fullPath, fileName, sizeof fileName, subject.version);
    subject.fileName = fileName;
    unsigned char bytes[IMAGE_HEADER_READ_SIZE];
    ImageHeader header;
    subject.machine =
        ReadImageHeader(bytes, system.readFileStart(fullPath, bytes, sizeof bytes), &header) ? header.machine : 0;
    RegText xml = {};
    *error = RESULT_OUT_OF_MEMORY;
    const bool written = ComposeManifest(recorded, subject, &xml, summary) &&
                         ops.write(target, xml.data, xml.length, error);
    FreeText(&xml);
    return written;
}

void AppendManifestRow(char *path, const char *fullPath, const char *option, const char *recorded,
                       uint32_t limitSeconds, const SystemOps &system, const ManifestOps &ops)
{
    char folder[PATH_BUFFER_SIZE], target[PATH_BUFFER_SIZE], text[ROW_TEXT_SIZE];
    ManifestFolder(option, fullPath, system.isLeadByte, folder);
    ManifestSummary summary;
    uint32_t error = RESULT_FILE_NAME_TOO_LONG;
    const bool placed = ManifestPath(folder, FileNamePart(fullPath, system.isLeadByte), target, sizeof target);
    if (placed && WrittenBefore(target))
    {
        std::snprintf(text, sizeof text,
                      "Nothing was registered, and no manifest was written: %s is the manifest of another component "
                      "of this run, which has the same name.",
                      target);
        AppendRow(path, text, RESULT_ALREADY_EXISTS, ROW_OWN_TEXT, true, RESULT_ALREADY_EXISTS);
        return;
    }
    if (!placed || !WriteManifest(fullPath, recorded, target, system, ops, &summary, &error))
    {
        char reason[ENTRY_TEXT_SIZE];
        FormatSystemRowText(system.systemText, error, nullptr, reason, sizeof reason);
        std::snprintf(text, sizeof text, "Nothing was registered, and the manifest for it could not be written: %s",
                      reason);
        AppendRow(path, text, static_cast<int32_t>(error), ROW_OWN_TEXT, true, static_cast<int32_t>(error));
        return;
    }
    NoteWritten(target);
    // The check runs the component's code: it is watched and guarded as a call is.
    ManifestCheck check;
    EntryPointCrash crash = {};
    char componentFolder[PATH_BUFFER_SIZE];
    FolderOf(fullPath, system.isLeadByte, componentFolder);
    const bool beside = SameFolder(folder, componentFolder);
    bool returned = false;
    if (!WatchedStep(system, limitSeconds,
                     [&] { returned = ops.check(target, componentFolder, beside, summary, &check, &crash); }))
        return;
    if (!returned)
    {
        AppendCrash(path, crash);
        return;
    }
    if (check.result != 0)
        FormatSystemRowText(system.systemText, static_cast<uint32_t>(check.result), nullptr, check.reason,
                            sizeof check.reason);
    check.loaded = beside;
    ComposeManifestText(target, summary, check, text, sizeof text);
    AppendRow(path, text, check.result, check.result == 0 ? ROW_DONE_TEXT : ROW_OWN_TEXT, true, check.result);
}
