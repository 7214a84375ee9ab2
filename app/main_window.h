// The modeless main dialog, its shared state and the start-up steps.
#pragma once

#include <windows.h>

#include "assess/win32_panel.h"
#include "tree/win32_status_bar.h"
#include "tree/win32_tree_view.h"

extern HINSTANCE AppInstance;
extern HWND MainWindow;
extern HWND TreeViewWindow;
extern HWND StatusBarWindow;
extern HMENU MainMenu;
extern HDEVNOTIFY UsbDeviceNotification;
extern HDEVNOTIFY UsbHubNotification;
// The dialog's controls behind the tree, status line and panel; attached to
// them when the dialog is made.
extern Win32TreeView TreeOfDialog;
extern Win32StatusBar StatusOfDialog;
extern Win32Panel PanelOfDialog;

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitMainDialog(HWND window);
void LayoutMainWindow();
int CreateMainWindow(int showState);
int ExtractHelpFile();

// Puts this build's platform behind every seam (the live machine's, or the
// demo's simulated USB stack and registry); false when it cannot be set up.
bool InstallPlatform();

// One message of the loop: accelerators first, then dialog navigation.
void DispatchLoopMessage(MSG* message, HACCEL accelerators);
