// tvdep.dll, a DLL that a component imports. Built twice: the one beside the component answers
// 0, a decoy of the same name beside the program answers DEPENDENCY_ANSWER.
#include <windows.h>

extern "C" __declspec(dllexport) int WhichDependency()
{
    return DEPENDENCY_ANSWER;
}
