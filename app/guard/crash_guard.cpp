#include "app/guard/crash_guard.h"

#include <cstdio>

struct ExceptionNameEntry
{
    uint32_t code;
    const char *name;
};

static const ExceptionNameEntry EXCEPTION_NAMES[] = {
    {0xC0000005, "access violation"},
    {0xC0000006, "in-page error"},
    {0xC0000008, "invalid handle"},
    {0xC000001D, "illegal instruction"},
    {0xC0000025, "non-continuable exception"},
    {0xC000008C, "array bounds exceeded"},
    {0xC000008D, "floating-point denormal operand"},
    {0xC000008E, "floating-point division by zero"},
    {0xC000008F, "floating-point inexact result"},
    {0xC0000090, "invalid floating-point operation"},
    {0xC0000091, "floating-point overflow"},
    {0xC0000092, "floating-point stack check"},
    {0xC0000093, "floating-point underflow"},
    {0xC0000094, "integer division by zero"},
    {0xC0000095, "integer overflow"},
    {0xC0000096, "privileged instruction"},
    {0xC00000FD, "stack overflow"},
    {0xC0000374, "heap corruption"},
    {0xC0000409, "stack buffer overrun"},
    {0x80000002, "misaligned data"},
    {0x80000003, "breakpoint"},
    {0x80000004, "single step"},
    {0xE06D7363, "unhandled C++ exception"},
    {0x20474343, "unhandled C++ exception"}, // GCC's
};

// Plain name of an exception code ("access violation"), or null when it has none.
static const char *ExceptionName(uint32_t code)
{
    for (const ExceptionNameEntry &entry : EXCEPTION_NAMES)
        if (entry.code == code)
            return entry.name;
    return nullptr;
}

// Lower-case hexadecimal without leading zeros. By hand: the system's printf of older Windows
// versions knows no 64-bit length modifier that every compiler accepts.
static void Hex(uint64_t value, char *out)
{
    char digits[17];
    int count = 0;
    do
    {
        digits[count++] = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value != 0);
    while (count > 0)
        *out++ = digits[--count];
    *out = '\0';
}

// "access violation (0xC0000005) at crash.dll+0x1a2b" (or "at address 0x...").
static void DescribeWhat(const EntryPointCrash &crash, char *text, size_t size)
{
    char what[96];
    const char *name = ExceptionName(crash.exceptionCode);
    if (name != nullptr)
        std::snprintf(what, sizeof what, "%s (0x%08X)", name, static_cast<unsigned>(crash.exceptionCode));
    else
        std::snprintf(what, sizeof what, "exception 0x%08X", static_cast<unsigned>(crash.exceptionCode));
    char offset[17];
    Hex(crash.offset, offset);
    if (crash.moduleName[0] != '\0')
        std::snprintf(text, size, "%s at %s+0x%s", what, crash.moduleName, offset);
    else
        std::snprintf(text, size, "%s at address 0x%s", what, offset);
}

void ComposeCrashText(const EntryPointCrash &crash, char *text, size_t size)
{
    char what[400];
    DescribeWhat(crash, what, sizeof what);
    std::snprintf(text, size, "The component crashed%s: %s", crash.otherThread ? " on another thread" : "", what);
}

void ComposeLateCrashText(const EntryPointCrash &crash, char *text, size_t size)
{
    char what[400];
    DescribeWhat(crash, what, sizeof what);
    std::snprintf(text, size,
                  "Meanwhile a thread that an earlier component left running crashed (%s), so TolVane went on in a "
                  "fresh process.",
                  what);
}
