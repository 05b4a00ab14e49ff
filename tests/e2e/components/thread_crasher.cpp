// A component whose DllRegisterServer starts a thread that writes to a null pointer, at the first
// instruction of the exported ThreadCrashSite, waits for that thread, then returns S_OK (only
// reached if the crash does not end the process). If the thread cannot start, it returns the error.
// DllUnregisterServer always succeeds.
#include <windows.h>

#define TEXT_OF(x) #x
#define NAME_TEXT(x) TEXT_OF(x)

// ThreadCrashSite is a thread procedure (DWORD WINAPI (LPVOID)): on i686 its symbol carries the
// stdcall decoration and it pops its argument; --kill-at exports it undecorated on both machines.
#ifdef __x86_64__
#define THREAD_SITE "ThreadCrashSite"
#define THREAD_RETURN "\tret\n"
#else
#define THREAD_SITE "ThreadCrashSite@4"
#define THREAD_RETURN "\tret $4\n"
#endif
#define THREAD_SYMBOL NAME_TEXT(__USER_LABEL_PREFIX__) THREAD_SITE

__asm__(".text\n"
        ".globl " THREAD_SYMBOL "\n" THREAD_SYMBOL ":\n"
        "\tmovl $1, 0\n"
        "\txorl %eax, %eax\n" THREAD_RETURN ".section .drectve\n"
        ".ascii \" -export:" THREAD_SITE "\"\n"
        ".text\n");
extern "C" DWORD WINAPI ThreadCrashSite(LPVOID);

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
    HANDLE thread = CreateThread(nullptr, 0, ThreadCrashSite, nullptr, 0, nullptr);
    if (thread == nullptr)
        return HRESULT_FROM_WIN32(GetLastError());
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
