// A module that loads but exports neither entry point.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI SomethingElse()
{
    return 42;
}
