// The menu commands' window system over Win32: check marks, about box,
// notification registrations, ending the dialog and the loop.
#pragma once

#include <windows.h>

#include "app/shell_platform.h"

class Win32Shell : public ShellPlatform {
public:
    bool SetMenuCheck(int command, bool checked) override;
    void ShowAboutBox() override;
    void UnregisterNotifications() override;
    void PostQuit(int exitCode) override;
    void EndMainDialog(int result) override;
    void Beep(uint32_t type) override;
};
