#include "tree/win32_status_bar.h"

#include <commctrl.h>

void Win32StatusBar::SetText(const char* text)
{
    // The status bar's first (only) pane, default border.
    SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}
