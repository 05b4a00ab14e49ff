#pragma once
// /V: does the registry hold what this file registers, does it name this file, and which
// programs can use it. The recording of the component's registration (the .reg text that /R
// writes) is compared with the real registry, key by key and value by value; each class's object
// is had through the real registry. Window-free: the registry, the file system and COM are read
// through VerifyOps. Keys are named as a recording names them ("HKEY_CLASSES_ROOT\CLSID\{...}").
#include <cstddef>
#include <cstdint>

struct EntryPointCrash;
struct SystemOps;

// The registry views: the program's own, and the 32-bit and 64-bit ones by name.
enum RegistryView
{
    VIEW_OWN = 0,
    VIEW_32 = 1,
    VIEW_64 = 2,
};

constexpr int32_t RESULT_CLASS_NOT_REGISTERED = static_cast<int32_t>(0x80040154);   // REGDB_E_CLASSNOTREG
constexpr int32_t RESULT_LIBRARY_NOT_REGISTERED = static_cast<int32_t>(0x8002801D); // TYPE_E_LIBNOTREGISTERED
constexpr int32_t RESULT_KEY_MISSING = static_cast<int32_t>(0x80040152);            // REGDB_E_KEYMISSING
constexpr int32_t RESULT_INVALID_VALUE = static_cast<int32_t>(0x80040153);          // REGDB_E_INVALIDVALUE
constexpr int32_t RESULT_STILL_REGISTERED = static_cast<int32_t>(0x800700B7);       // ERROR_ALREADY_EXISTS

struct VerifyOps
{
    // Whether key exists in view.
    bool (*keyExists)(const char *key, int view);
    // The value name ("" the default value) of key in view: its type, and its data into data
    // (*size bytes given; on return, the size it has, which may be more: then nothing is
    // written). REG_SZ and REG_EXPAND_SZ come as UTF-8 text without a terminator, other types as
    // the registry holds them. False when there is no such value.
    bool (*readValue)(const char *key, const char *name, int view, uint32_t *type, unsigned char *data,
                      size_t *size);
    // Whether two paths (UTF-8, environment variables expanded, quotes allowed) name the same file.
    bool (*sameFile)(const char *a, const char *b);
    // Has the class object of clsid ("{...}") in process through the real registry, and tells
    // whether the module that serves it is the file at fullPath (the ANSI code page), naming that
    // module in server. *result: the HRESULT of creating it. False with crash filled in when the
    // code that ran crashed.
    bool (*classServer)(const char *clsid, const char *fullPath, int32_t *result, bool *thisFile, char *server,
                        size_t serverSize, EntryPointCrash *crash);
    // The views (VIEW_32 | VIEW_64) that hold key; only the 32-bit one where the system has no other.
    unsigned (*keyViews)(const char *key);
};

// What the comparison found, and the row it comes to.
struct VerifyOutcome
{
    int keys;           // the recorded keys compared
    int found;          // of them, those the registry holds
    int classes;        // the classes the recording registers
    int typeLibraries;  // its type libraries (each version)
    int values;         // its values
    int problems;       // keys and values missing or different (or, unregistered: left)
    int32_t code;       // 0 when everything holds
    char first[1024];   // the sentence of the most telling problem
    int objects;        // classes whose object was had from this file
    unsigned views;     // VIEW_32 | VIEW_64: the views where every class names this file
    bool crashed;
    bool abandoned; // the watchdog abandoned the step: the run is its thread's now
};

// Compares recording (the .reg text of what registering writes) with the registry: unregister:
// nothing of it is to be left (/U /V); currentUser: the classes are the current user's (/C /V),
// and machine-wide keys outside them are not compared. The class objects are had only when
// everything in the registry holds, each in a step watched with limitSeconds.
void VerifyRecording(const char *recording, const char *fullPath, bool unregister, bool currentUser,
                     uint32_t limitSeconds, const SystemOps &system, const VerifyOps &ops, VerifyOutcome *outcome,
                     EntryPointCrash *crash);

// The row's sentence for an outcome.
void ComposeVerifyText(const VerifyOutcome &outcome, bool unregister, char *text, size_t size);

// /V: verifies the component at fullPath against recorded, the .reg text of what its
// registration writes, and appends its row; a crash while its objects are had is its crash row.
void AppendVerifyRow(char *path, const char *fullPath, const char *recorded, bool unregister, bool currentUser,
                     uint32_t limitSeconds, const SystemOps &system, const VerifyOps &ops);
