// What the advice window needs of the window system and of the HTML Help
// control's module. Win32 in the exe, recorded in the tests.
#pragma once

#include <cstdint>

#include "assess/panel_platform.h"

struct ScreenRect {
    int32_t left, top, right, bottom;
};

class HelpPlatform {
public:
    virtual ~HelpPlatform() = default;
    // GetTempPathA, then SetCurrentDirectoryA.
    virtual void EnterTempFolder() = 0;
    // GetWindowTextA into a buffer of the given capacity.
    virtual void WindowCaption(WindowRef window, char* caption, int capacity) = 0;
    virtual ScreenRect WindowRect(WindowRef window) = 0;
    // GetSystemMetrics(SM_CXFULLSCREEN).
    virtual int FullScreenWidth() = 0;
    virtual WindowRef DesktopWindow() = 0;
    virtual void BringToForeground(WindowRef window) = 0;
    // LoadLibraryA: the registered path of the control.
    virtual void* LoadModule(const char* path) = 0;
    // A module of that name from the system folder only, never from the
    // application's folder or the current directory.
    virtual void* LoadSystemModule(const char* name) = 0;
    virtual void* FindOrdinal(void* module, int ordinal) = 0;
    // Calls HtmlHelpA at the entry point found.
    virtual WindowRef CallEntry(void* entry, WindowRef caller, const char* file, unsigned command, uintptr_t data) = 0;
};

extern HelpPlatform* ActiveHelp;
