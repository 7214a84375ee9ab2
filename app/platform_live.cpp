// Portolan.exe: the machine's own USB stack, registry and windows behind
// every seam.
#include "app/main_window.h"
#include "tree/win32_registry.h"
#include "usb/win32_code_page.h"
#include "usb/win32_usb_platform.h"

namespace {
Win32UsbPlatform UsbOfMachine;
Win32AnsiCodePage CodePageOfMachine;
Win32Registry RegistryOfMachine;
}

bool InstallPlatform()
{
    ActiveUsbPlatform = &UsbOfMachine;
    ActiveCodePage = &CodePageOfMachine;
    ActiveRegistry = &RegistryOfMachine;
    InstallWindowPlatform();
    return true;
}
