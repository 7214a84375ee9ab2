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

// Puts the Win32 shell, panel, tree and status bar in place. The platform
// behind the USB stack and the registry is the build's (InstallPlatform).
void InstallShell();
// The USB stack, registry and code page of this build; false when they
// cannot be set up.
bool InstallPlatform();

// One message of the loop: accelerators first, then dialog navigation.
void DispatchLoopMessage(MSG* message, HACCEL accelerators);
