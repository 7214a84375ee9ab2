#include "app/platform_machine.h"

#include "tree/win32_registry.h"
#include "usb/win32_code_page.h"
#include "usb/win32_usb_platform.h"

namespace {
Win32UsbPlatform UsbOfMachine;
Win32AnsiCodePage CodePageOfMachine;
Win32Registry RegistryOfMachine;
}

void InstallMachinePlatform()
{
    ActiveUsbPlatform = &UsbOfMachine;
    ActiveCodePage = &CodePageOfMachine;
    ActiveRegistry = &RegistryOfMachine;
}
