#pragma once
// Registration-free COM (/M[:folder]): a component's side-by-side manifest, made from the
// recording of its registration (the .reg text that /R writes), so that an application can use
// the component without registering it. Window-free: the reading of the recording, the
// manifest's XML, the row's words, and the file version from a VERSIONINFO resource.
#include <cstddef>
#include <cstdint>

#include "app/registry/reg_file.h"

constexpr int MANIFEST_CHECK_MAX = 64;          // classes the check after writing tries
constexpr size_t MANIFEST_IDENTITY_SIZE = 512;  // the assemblyIdentity element
constexpr size_t MANIFEST_NOT_WRITTEN_SIZE = 512; // what the manifest cannot hold, in the row

// The component the manifest describes.
struct ManifestSubject
{
    const char *fileName; // its file name without the folder ("sample.dll"), in UTF-8
    uint16_t machine;     // its PE header's machine; 0 when it has none (a type library)
    uint16_t version[4];  // from its VERSIONINFO, else 1.0.0.0
};

// What went into the manifest, for the check and the row.
struct ManifestSummary
{
    int classes;
    int typeLibraries;
    int interfaces;
    int checkCount;                          // the classes the check tries (the first MANIFEST_CHECK_MAX)
    char classIds[MANIFEST_CHECK_MAX][40];   // "{...}"
    char identity[MANIFEST_IDENTITY_SIZE];   // <assemblyIdentity .../>, for the application's dependency
    int notWritten;                          // keys and values that no manifest element expresses
    char notWrittenNames[MANIFEST_NOT_WRITTEN_SIZE]; // "CLSID\{...}\Control, ...", cut to fit
};

// The manifest of subject from recording (the .reg text of its registration, UTF-8) into xml,
// UTF-8. False when memory ran out.
bool ComposeManifest(const char *recording, const ManifestSubject &subject, RegText *xml, ManifestSummary *summary);

// A type library's version as the registry names its key, in hexadecimal ("1.a"), as a manifest
// writes it, in decimal ("1.10"); false when it is not two hexadecimal numbers.
bool TypeLibraryVersion(const char *hex, char *out, size_t size);

// The file version of a VERSIONINFO resource (its fixed part); false when it has none.
bool ReadFixedFileVersion(const unsigned char *bytes, size_t size, uint16_t version[4]);

// "<folder>\<name without its extension>.sxs.manifest" into out; false when it does not fit.
bool ManifestPath(const char *folder, const char *fileName, char *out, size_t size);

// How the check after writing went: the activation context made from the manifest, and each
// class's object had through it.
struct ManifestCheck
{
    int32_t result;    // 0, or the HRESULT of what failed
    int failedClass;   // the index of the class that failed; -1: the manifest itself was refused
    bool loaded;       // each class's object was had (the manifest is beside the component), else found
    char reason[512];  // the system's words for result
};

// The row of a component whose manifest was written to path (and checked).
void ComposeManifestText(const char *path, const ManifestSummary &summary, const ManifestCheck &check, char *text,
                         size_t size);

struct EntryPointCrash;
struct SystemOps;

struct ManifestOps
{
    // The component's file name in UTF-8 and its file version (1.0.0.0 when it has none).
    void (*describeFile)(const char *fullPath, char *utf8Name, size_t size, uint16_t version[4]);
    // Writes a manifest whole (a temporary file renamed over it); false with the system's error.
    bool (*write)(const char *path, const char *text, size_t length, uint32_t *error);
    // Checks that the system takes the manifest at path, the component's files being in folder:
    // each class's object is had through it (load: the manifest is beside the component), else
    // each class is found in it. False with crash filled in when the component crashed.
    bool (*check)(const char *path, const char *folder, bool load, const ManifestSummary &summary,
                  ManifestCheck *check, EntryPointCrash *crash);
};

// /M: the recording of a component's registration (its .reg text) becomes its side-by-side
// manifest, written whole into the folder that option ("/M" or "/M:folder") names, or the
// component's, then checked by the system, which runs the component's code again; the row tells
// what was written, and what the application's manifest needs. A failed check counts as the
// component's result. limitSeconds: the time limit for the check.
void AppendManifestRow(char *path, const char *fullPath, const char *option, const char *recorded,
                       uint32_t limitSeconds, const SystemOps &system, const ManifestOps &ops);

// A new batch: no manifest written yet.
void ForgetManifests();

// The row of a component that /M was to describe but that is being unregistered: nothing is called.
extern const char MANIFEST_ONLY_REGISTERS_TEXT[];
