// A module that does nothing, planted under a system module's name in an
// application's folder (tests/windows/check_programs_test.sh).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
