#pragma once
// Registration-free COM (app/manifest/manifest.h), on the Win32 side: what a manifest takes of
// the component's file, the file written whole, and the check that the system takes it.
#include <cstddef>
#include <cstdint>

#include "app/guard/crash_guard.h"
#include "app/manifest/manifest.h"

// The component's file name without its folder, in UTF-8, and its file version (1.0.0.0 when it
// has no VERSIONINFO).
void DescribeManifestFile(const char *fullPath, char *utf8Name, size_t size, uint16_t version[4]);

// Writes text to a temporary file beside path, then renames it over path, so that an existing
// manifest is never half-written. False with the system's error.
bool WriteManifestFile(const char *path, const char *text, size_t length, uint32_t *error);

// Creates an activation context from the manifest at path (the component's files in folder),
// activates it and has each class's object made through it (load), or, for a manifest that is not
// beside the component, finds each class in it; under the crash guard. False with crash filled
// in when the component crashed meanwhile.
bool CheckManifest(const char *path, const char *folder, bool load, const ManifestSummary &summary,
                   ManifestCheck *check, EntryPointCrash *crash);

// A folder that /M:folder names (a relative one from the current folder) and that cannot be
// written; false with the system's error.
bool PrepareManifestFolder(const char *folder, uint32_t *error);
