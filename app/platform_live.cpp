// Portolan.exe talks to the machine's own USB stack and registry.
#include "app/main_window.h"
#include "tree/win32_registry.h"
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
    return true;
}
