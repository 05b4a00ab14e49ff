// Components whose DllRegisterServer does not return normally, one kind per build (CRASH_KIND):
//   1  writes to a null pointer, at the first instruction of the exported CrashSite;
//   2  overflows its stack;
//   3  lets an MSVC-style C++ exception (0xE06D7363, non-continuable) escape;
//   4  throws a C++ exception and catches it itself, then succeeds.
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

[[maybe_unused]] __attribute__((noinline)) static void Throw(volatile int value)
{
    if (value != 0)
        throw value;
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
#endif
    return E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
