// The main window's menu and accelerator commands, and device events.
#pragma once

#include <cstdint>

#include "assess/property_panel.h"

extern int AutoRefreshEnabled;

void HandleMenuCommand(WindowRef window, int command, intptr_t lParam, int notifyCode);
void CycleSelectedPort();
void OnDeviceChange(WindowRef window, uintptr_t event);
// Closing the window from its caption: the tree goes, the loop ends.
void CloseMainWindow(WindowRef window);
