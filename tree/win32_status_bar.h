// The status line over a status bar control.
#pragma once

#include "tree/tree_platform.h"

#include <windows.h>

class Win32StatusBar : public StatusLine {
public:
    void Attach(HWND statusBar) { statusBar_ = statusBar; }

    void SetText(const char* text) override;

    HWND Window() const { return statusBar_; }

private:
    HWND statusBar_ = nullptr;
};
