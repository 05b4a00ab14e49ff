#pragma once
// The registry, redirected (app/redirect/redirect.h), on the Win32 side: the predefined keys
// mapped with RegOverridePredefKey around a component's calls, the recording collected, and the
// .reg file written once, after the batch.
#include <cstddef>
#include <cstdint>

#include "app/redirect/redirect.h"

// Before a component's calls: maps the predefined keys for the mode. False with the system's error.
bool BeginRedirect(int mode, uint32_t *error);

// After them: puts the keys back. keep: the calls succeeded, so what they wrote counts (recorded,
// or moved to the user's classes); else it is dropped. component names the recording's comment.
void EndRedirect(int mode, bool keep, const char *component, RedirectOutcome *outcome);

// Adds text that a child run recorded to this run's recording.
void AddRecordedText(const char *text, size_t length);

// The record file: checked at start (a relative name from the start folder), so that a file that
// cannot be written stops the run before any component; written, then renamed over the target,
// after the batch. False with the system's error.
bool PrepareRecordFile(const char *path, uint32_t *error);
bool WriteRecordFile(uint32_t *error);
