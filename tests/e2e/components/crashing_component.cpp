// Components that misbehave in DllRegisterServer, one kind per build (CRASH_KIND):
//   1  writes to a null pointer, at the first instruction of the exported CrashSite;
//   2  overflows its stack;
//   3  lets an MSVC-style C++ exception (0xE06D7363, non-continuable) escape;
//   4  throws a C++ exception and catches it itself, then succeeds;
//   5  runs CrashSite on a thread of its own and waits for that thread;
//   6  takes the process heap's lock (HeapLock), then crashes at CrashSite, never releasing it;
//   7  takes the loader lock (ntdll's LdrLockLoaderLock), then crashes at CrashSite;
//   8  removes the unhandled-exception filter, then succeeds;
//   9  installs a filter of its own (PassOn, gone once the DLL is unloaded), then succeeds;
//  10  installs PassOn, then crashes at CrashSite: nothing but the system is left to handle it;
//  11  ends the process with ExitProcess(7);
//  12  starts a thread that outlives its unload, then succeeds: the thread crashes as it returns
//      into the component's code, a third of a second later, once the code is gone;
//  13  takes the process heap's lock and never returns;
//  14  takes the loader lock and never returns.
// DllUnregisterServer always succeeds.
#include <windows.h>

#define TEXT_OF(x) #x
#define NAME_TEXT(x) TEXT_OF(x)
#define SYMBOL(name) NAME_TEXT(__USER_LABEL_PREFIX__) #name

// The faulting write is CrashSite's first instruction, so a test can tell where it happened.
__asm__(".text\n"
        ".globl " SYMBOL(CrashSite) "\n" SYMBOL(CrashSite) ":\n"
                                                           "\tmovl $1, 0\n"
                                                           "\tret\n"
                                                           ".section .drectve\n"
                                                           ".ascii \" -export:CrashSite\"\n"
                                                           ".text\n");
extern "C" void CrashSite();

static volatile int stopDepth = -1;

[[maybe_unused]] static int Recurse(int depth)
{
    volatile char buffer[1024];
    buffer[0] = static_cast<char>(depth);
    if (depth == stopDepth)
        return 0;
    return Recurse(depth + 1) + buffer[0];
}

[[maybe_unused]] static LONG WINAPI PassOn(EXCEPTION_POINTERS *)
{
    return EXCEPTION_CONTINUE_SEARCH;
}

typedef LONG(NTAPI *LdrLockLoaderLockProc)(ULONG flags, ULONG *state, ULONG_PTR *cookie);

// Takes the loader's lock, never to give it back.
[[maybe_unused]] static void LockLoader()
{
    ULONG_PTR cookie = 0;
    LdrLockLoaderLockProc lockLoader = reinterpret_cast<LdrLockLoaderLockProc>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrLockLoaderLock")));
    if (lockLoader != nullptr)
        lockLoader(0, nullptr, &cookie);
}

[[maybe_unused]] __attribute__((noinline)) static void Throw(volatile int value)
{
    if (value != 0)
        throw value;
}

[[maybe_unused]] static DWORD WINAPI Outlive(LPVOID)
{
    Sleep(300);
    return 0;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
#if CRASH_KIND == 1
    CrashSite();
#elif CRASH_KIND == 2
    return static_cast<HRESULT>(Recurse(0));
#elif CRASH_KIND == 3
    RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#elif CRASH_KIND == 4
    try
    {
        Throw(42);
    }
    catch (int)
    {
        return S_OK;
    }
#elif CRASH_KIND == 5
    // CrashSite faults at its first instruction, so how a thread procedure returns never matters.
    HANDLE thread = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(CrashSite), nullptr, 0, nullptr);
    if (thread == nullptr)
        return HRESULT_FROM_WIN32(GetLastError());
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return S_OK;
#elif CRASH_KIND == 6
    HeapLock(GetProcessHeap());
    CrashSite();
#elif CRASH_KIND == 7
    LockLoader();
    CrashSite();
#elif CRASH_KIND == 8
    SetUnhandledExceptionFilter(nullptr);
    return S_OK;
#elif CRASH_KIND == 9
    SetUnhandledExceptionFilter(PassOn);
    return S_OK;
#elif CRASH_KIND == 10
    SetUnhandledExceptionFilter(PassOn);
    CrashSite();
#elif CRASH_KIND == 11
    ExitProcess(7);
#elif CRASH_KIND == 13
    HeapLock(GetProcessHeap());
    for (;;)
        Sleep(1000);
#elif CRASH_KIND == 14
    LockLoader();
    for (;;)
        Sleep(1000);
#elif CRASH_KIND == 12
    HANDLE thread = CreateThread(nullptr, 0, Outlive, nullptr, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
    return S_OK;
#endif
    return E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
