// What the menu commands and device events need of the window system:
// check marks, the about box, the notification registrations, ending the
// dialog and the loop, a beep. Win32 in the exe, recorded in the tests.
#pragma once

#include <cstdint>

class ShellPlatform {
public:
    virtual ~ShellPlatform() = default;
    // Sets or clears the check mark of the menu item with this command ID.
    virtual bool SetMenuCheck(int command, bool checked) = 0;
    // Shows the about box modally; returns when it is closed.
    virtual void ShowAboutBox() = 0;
    // Unregisters the USB device, then the USB hub interface notification.
    virtual void UnregisterNotifications() = 0;
    virtual void PostQuit(int exitCode) = 0;
    virtual void EndMainDialog(int result) = 0;
    virtual void Beep(uint32_t type) = 0;
};

extern ShellPlatform* ActiveShell;
