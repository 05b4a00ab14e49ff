#include "app/guard/crash_guard_win.h"

#include "app/guard/call_state.h"

#include "app/paths/path_parts.h"
#include "base/system_win.h"

static volatile DWORD caughtCode;
static void *volatile caughtAddress;
static DWORD guardThread;
static volatile LONG guardArmed;
// The filter that was there before the guarded call, put back after it: a component that sets its
// own, or none, changes nothing for the components after it.
static LPTOP_LEVEL_EXCEPTION_FILTER filterBeforeCall;
// A crash on another thread during the call: such a thread is the component's own.
static volatile LONG otherThreadCrashed;
static volatile DWORD otherThreadCode;
static void *volatile otherThreadAddress;

// Ends a thread of the component that crashed during the guarded call, with its exception code,
// and notes the first such crash for the component's row. The entry point goes on; if it waits
// for the thread, the wait is over.
static LONG OnOtherThreadCrash(const EXCEPTION_POINTERS *info)
{
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (InterlockedCompareExchange(&otherThreadCrashed, 1, 0) == 0)
    {
        otherThreadAddress = info->ExceptionRecord->ExceptionAddress;
        otherThreadCode = code;
    }
    ExitThread(code);
}

#if defined(_MSC_VER)
// MSVC has structured exception handling: an __except at the call sees just what the component
// left unhandled.
static LONG NoteCrash(const EXCEPTION_POINTERS *info)
{
    caughtCode = info->ExceptionRecord->ExceptionCode;
    caughtAddress = info->ExceptionRecord->ExceptionAddress;
    return EXCEPTION_EXECUTE_HANDLER;
}

static LONG WINAPI CrashGuardFilter(EXCEPTION_POINTERS *info)
{
    if (guardArmed && GetCurrentThreadId() != guardThread)
        return OnOtherThreadCrash(info);
    return filterBeforeCall != nullptr ? filterBeforeCall(info) : EXCEPTION_CONTINUE_SEARCH;
}

static bool CallUnderGuard(GuardedFunction function, void *context, volatile int32_t *result)
{
    guardArmed = 1;
    __try
    {
        *result = function(context);
        return true;
    }
    __except (NoteCrash(GetExceptionInformation()))
    {
        return false;
    }
}
#else
// How the guard gets back: GuardedCall marks its frame with __builtin_setjmp (which makes the
// compiler keep everything the function needs across the jump in its frame, so the batch's
// registers are intact afterwards). When an exception reaches the unhandled-exception filter
// during a guarded call, the filter rewrites the faulting context to resume in ResumeAfterCrash,
// on a fresh stretch of stack below GuardedCall's frame, which then jumps back to the mark. The
// component's frames in between are abandoned, never unwound: its state is unknown.

static void *guardJump[5];
static uintptr_t guardStack; // an address in GuardedCall's frame
#if defined(__i386__)
// The head of the thread's exception registration chain, fs:[0] on x86.
static void *guardExceptionList;
static void *ExceptionChain()
{
    void *head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
static void SetExceptionChain(void *head)
{
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif
// How far below GuardedCall's frame the resumed code runs: clear of anything the frame still uses.
constexpr uintptr_t RESUME_STACK_GAP = 4096;

[[noreturn]] __attribute__((noinline)) static void ResumeAfterCrash()
{
#if defined(__i386__)
    // The exception registration chain still runs through the component's abandoned frames.
    SetExceptionChain(guardExceptionList);
#endif
    __builtin_longjmp(guardJump, 1);
}

static LONG WINAPI CrashGuardFilter(EXCEPTION_POINTERS *info)
{
    if (!guardArmed)
        return filterBeforeCall != nullptr ? filterBeforeCall(info) : EXCEPTION_CONTINUE_SEARCH;
    if (GetCurrentThreadId() != guardThread)
        return OnOtherThreadCrash(info);
    guardArmed = 0;
    caughtCode = info->ExceptionRecord->ExceptionCode;
    caughtAddress = info->ExceptionRecord->ExceptionAddress;

    // An MSVC C++ throw is raised as non-continuable; the guard resumes elsewhere, so it may continue.
    info->ExceptionRecord->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
    CONTEXT *context = info->ContextRecord;
    const uintptr_t stack = (guardStack - RESUME_STACK_GAP) & ~static_cast<uintptr_t>(15);
#if defined(__x86_64__)
    context->Rsp = stack - 8; // as if ResumeAfterCrash had been called from an aligned frame
    context->Rip = reinterpret_cast<DWORD64>(&ResumeAfterCrash);
#elif defined(__i386__)
    context->Esp = stack - 4;
    context->Eip = reinterpret_cast<DWORD>(&ResumeAfterCrash);
#else
#error "the crash guard knows the x86 and x86-64 contexts only"
#endif
    context->EFlags &= ~0x400u; // the direction flag, clear as the calling convention expects
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Kept out of line: its frame is what the guard returns to.
__attribute__((noinline)) static bool CallUnderGuard(GuardedFunction function, void *context, volatile int32_t *result)
{
    volatile char frame = 0;
    guardStack = reinterpret_cast<uintptr_t>(&frame);
#if defined(__i386__)
    guardExceptionList = ExceptionChain();
#endif
    if (__builtin_setjmp(guardJump) != 0)
        return false; // back from ResumeAfterCrash
    guardArmed = 1;
    *result = function(context);
    return true;
}
#endif

// A crash on a thread other than the batch's, at any time outside a guarded call (a thread that
// outlives its component's unload, say): the thread is ended, and the process, whose state is now
// unknown, hands the rest of the batch on. The first such crash is noted for the next row.
static void DescribeCrash(EntryPointCrash *crash);
static volatile LONG lateCrashed;
static EntryPointCrash lateCrash;

static LONG WINAPI BatchFilter(EXCEPTION_POINTERS *info)
{
    if (GetCurrentThreadId() == guardThread)
        return EXCEPTION_CONTINUE_SEARCH; // beyond the guard's reach: the run ends with its code
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (InterlockedCompareExchange(&lateCrashed, 1, 0) == 0)
    {
        caughtCode = code;
        caughtAddress = info->ExceptionRecord->ExceptionAddress;
        DescribeCrash(&lateCrash);
        lateCrash.otherThread = true;
        MarkPoisoned();
    }
    ExitThread(code);
}

void ArmBatchGuard()
{
    SetUnhandledExceptionFilter(BatchFilter);
}

bool TakeLateCrash(EntryPointCrash *crash)
{
    if (lateCrashed != 1)
        return false;
    *crash = lateCrash;
    lateCrashed = 2; // told once
    return true;
}

void InstallCrashGuard()
{
    guardThread = GetCurrentThreadId();
    // Room for the exception dispatch and the filter after a stack overflow. Looked up, as 32-bit
    // Windows XP lacks it.
    typedef BOOL(WINAPI * StackGuarantee)(PULONG);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    StackGuarantee setGuarantee = kernel ? reinterpret_cast<StackGuarantee>(reinterpret_cast<void *>(
                                               GetProcAddress(kernel, "SetThreadStackGuarantee")))
                                         : nullptr;
    if (setGuarantee != nullptr)
    {
        ULONG bytes = 32 * 1024;
        setGuarantee(&bytes);
    }
}

// A stack overflow uses up the stack's guard page; without a new one, a second overflow in the
// same run could not be reported. As the C runtime's _resetstkoflw does: the page just below
// this frame's becomes the guard page, and the stack grows down from there again.
static void RestoreStackGuard()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const uintptr_t pageSize = system.dwPageSize;
    volatile char here = 0;
    MEMORY_BASIC_INFORMATION stack;
    if (VirtualQuery(const_cast<char *>(&here), &stack, sizeof stack) == 0)
        return;
    const uintptr_t guardPage = (reinterpret_cast<uintptr_t>(&here) & ~(pageSize - 1)) - pageSize;
    // Keep clear of the bottom, where the system keeps room to report an overflow.
    if (guardPage < reinterpret_cast<uintptr_t>(stack.AllocationBase) + 16 * pageSize)
        return;
    DWORD previous;
    void *page = reinterpret_cast<void *>(guardPage);
    if (VirtualAlloc(page, pageSize, MEM_COMMIT, PAGE_READWRITE) != nullptr)
        VirtualProtect(page, pageSize, PAGE_READWRITE | PAGE_GUARD, &previous);
}

static void DescribeCrash(EntryPointCrash *crash)
{
    crash->exceptionCode = caughtCode;
    crash->moduleName[0] = '\0';
    crash->offset = reinterpret_cast<uintptr_t>(caughtAddress);
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(caughtAddress), &module))
        return;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    lstrcpynA(crash->moduleName, FileNamePart(path, WinIsLeadByte), sizeof crash->moduleName);
    crash->offset = reinterpret_cast<uintptr_t>(caughtAddress) - reinterpret_cast<uintptr_t>(module);
}

bool GuardedCall(GuardedFunction function, void *context, int32_t *result, EntryPointCrash *crash)
{
    volatile int32_t value = 0;
    otherThreadCrashed = 0;
    filterBeforeCall = SetUnhandledExceptionFilter(CrashGuardFilter);
    const bool returned = CallUnderGuard(function, context, &value);
    guardArmed = 0;
    SetUnhandledExceptionFilter(filterBeforeCall);
    if (returned && !otherThreadCrashed)
    {
        *result = value;
        return true;
    }
    if (returned)
    {
        caughtCode = otherThreadCode;
        caughtAddress = otherThreadAddress;
    }
    DescribeCrash(crash);
    crash->otherThread = returned;
    if (crash->exceptionCode == static_cast<uint32_t>(STATUS_STACK_OVERFLOW))
        RestoreStackGuard();
    return false;
}
