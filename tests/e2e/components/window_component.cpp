// Components whose DllRegisterServer waits for somebody, one kind per build (WINDOW_KIND):
//   1  shows a message box "Registration complete" titled "Setup" with OK, then succeeds;
//   2  asks "Register now?" in a Yes/No box titled "Setup": succeeds on Yes, fails on No;
//   3  shows the OK box from a thread of its own and waits for that thread;
//   4  never returns: it sleeps for ten minutes.
// And components whose load waits, in DllMain, with the loader's lock held:
//   5  DllMain shows the OK box;
//   6  DllMain never returns: it sleeps for ten minutes;
//   7  DllMain takes a second, then succeeds.
// DllUnregisterServer always succeeds.
#include <windows.h>

[[maybe_unused]] static DWORD WINAPI ShowBox(LPVOID)
{
    MessageBoxA(nullptr, "Registration complete", "Setup", MB_OK);
    return 0;
}

#if WINDOW_KIND >= 5
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH && WINDOW_KIND == 5)
        ShowBox(nullptr);
    else if (reason == DLL_PROCESS_ATTACH)
        Sleep(WINDOW_KIND == 6 ? 600000 : 1000);
    return TRUE;
}
#endif

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer()
{
#if WINDOW_KIND == 1
    ShowBox(nullptr);
    return S_OK;
#elif WINDOW_KIND >= 5
    return S_OK;
#elif WINDOW_KIND == 2
    return MessageBoxA(nullptr, "Register now?", "Setup", MB_YESNO) == IDYES ? S_OK : E_ABORT;
#elif WINDOW_KIND == 3
    HANDLE thread = CreateThread(nullptr, 0, ShowBox, nullptr, 0, nullptr);
    if (thread == nullptr)
        return HRESULT_FROM_WIN32(GetLastError());
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return S_OK;
#else
    Sleep(600000);
    return S_OK;
#endif
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer()
{
    return S_OK;
}
