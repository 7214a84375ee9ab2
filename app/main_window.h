// The modeless main dialog, its shared state and the start-up steps.
#pragma once

#include <windows.h>


extern HINSTANCE AppInstance;
extern HWND MainWindow;
extern HWND TreeViewWindow;
extern HWND StatusBarWindow;
extern HMENU MainMenu;
extern HDEVNOTIFY UsbDeviceNotification;
extern HDEVNOTIFY UsbHubNotification;

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitMainDialog(HWND window);
void LayoutMainWindow();
int CreateMainWindow(int showState);
int ExtractHelpFile();

// Puts this build's platform behind every seam (the live machine's, or the
// demo's simulated USB stack and registry); false when it cannot be set up.
bool InstallPlatform();
// The machine's side of the seams, the same in both exes: the dialog's tree,
// status line and panel, the menu shell, HTML Help and the process; called
// by InstallPlatform.
void InstallWindowPlatform();

// One message of the loop: accelerators first, then dialog navigation.
void DispatchLoopMessage(MSG* message, HACCEL accelerators);
