#pragma once
// What is known of an exception that a component's entry point left unhandled, and the plain
// words that the row and the detail message give for it. Window-free.
#include <cstddef>
#include <cstdint>

struct EntryPointCrash
{
    uint32_t exceptionCode;
    char moduleName[256]; // file name of the module the exception happened in; empty when none
    uint64_t offset;      // from that module's base; the address itself when there is no module
    bool otherThread;     // it happened on a thread the component started, not in the call itself
};

// "The component crashed: access violation (0xC0000005) at crash.dll+0x1a2b"; on another thread,
// "The component crashed on another thread: ..."
void ComposeCrashText(const EntryPointCrash &crash, char *text, size_t size);

// The words for a crash on a thread that a component left running after its call ended, told with
// the next row: "Meanwhile a thread that an earlier component left running crashed (...)".
void ComposeLateCrashText(const EntryPointCrash &crash, char *text, size_t size);
