// Portolan.exe: the machine's own USB stack, registry and windows behind
// every seam.
#include "app/main_window.h"
#include "app/platform_machine.h"

bool InstallPlatform()
{
    InstallMachinePlatform();
    InstallWindowPlatform();
    return true;
}
