// The advice window's platform: temporary folder, window facts and the HTML
// Help control's module, on Win32.
#pragma once

#include "app/help_platform.h"

class Win32Help : public HelpPlatform {
public:
    void EnterTempFolder() override;
    void WindowCaption(WindowRef window, char* caption, int capacity) override;
    ScreenRect WindowRect(WindowRef window) override;
    int FullScreenWidth() override;
    WindowRef DesktopWindow() override;
    void BringToForeground(WindowRef window) override;
    void* LoadModule(const char* path) override;
    void* LoadSystemModule(const char* name) override;
    void* FindOrdinal(void* module, int ordinal) override;
    WindowRef CallEntry(void* entry, WindowRef caller, const char* file, unsigned command, uintptr_t data) override;
};
