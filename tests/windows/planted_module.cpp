// A module that does nothing, planted under a system module's name in an
// application's folder (tests/windows/help_binding_wine_test.sh).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
