#include "app/win32_shell.h"

#include "app/main_window.h"
#include "res/resource_ids.h"

bool Win32Shell::SetMenuCheck(int command, bool checked)
{
    MENUITEMINFOA item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STATE;
    item.fState = checked ? MFS_CHECKED : 0;
    return SetMenuItemInfoA(MainMenu, static_cast<UINT>(command), FALSE, &item) != FALSE;
}

void Win32Shell::ShowAboutBox()
{
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUT), MainWindow, AboutDialogProc, 0);
}

void Win32Shell::UnregisterNotifications()
{
    UnregisterDeviceNotification(UsbDeviceNotification);
    UnregisterDeviceNotification(UsbHubNotification);
}

void Win32Shell::PostQuit(int exitCode)
{
    PostQuitMessage(exitCode);
}

void Win32Shell::EndMainDialog(int result)
{
    EndDialog(MainWindow, result);
}

void Win32Shell::Beep(uint32_t type)
{
    MessageBeep(type);
}
