// Portolan.exe: the machine's own USB stack, registry and windows behind
// every seam.
#include "app/main_window.h"
#include "app/win32_help.h"
#include "app/win32_process.h"
#include "app/win32_shell.h"
#include "tree/win32_registry.h"
#include "usb/win32_code_page.h"
#include "usb/win32_usb_platform.h"

namespace {
Win32UsbPlatform UsbOfMachine;
Win32AnsiCodePage CodePageOfMachine;
Win32Registry RegistryOfMachine;
Win32Shell ShellOfMachine;
Win32Help HelpOfMachine;
Win32Process ProcessOfMachine;
}

bool InstallPlatform()
{
    ActiveUsbPlatform = &UsbOfMachine;
    ActiveCodePage = &CodePageOfMachine;
    ActiveRegistry = &RegistryOfMachine;
    ActiveTreeView = &TreeOfDialog;
    ActiveStatusBar = &StatusOfDialog;
    ActivePanel = &PanelOfDialog;
    ActiveShell = &ShellOfMachine;
    ActiveHelp = &HelpOfMachine;
    ActiveProcess = &ProcessOfMachine;
    return true;
}
