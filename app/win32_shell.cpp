#include "app/win32_shell.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/main_window.h"
#include "res/resource_ids.h"

bool Win32Shell::SetMenuCheck(int command, bool checked)
{
    MENUITEMINFOA item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STATE;
    item.fState = checked ? MFS_CHECKED : 0;
    return SetMenuItemInfoA(MainMenu, static_cast<UINT>(command), FALSE, &item) != FALSE;
}

void RestrictLibrarySearch()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
    SetDllDirectoryA("");
}

void Win32Shell::ShowAboutBox()
{
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUT), MainWindow, AboutDialogProc, 0);
}

void Win32Shell::UnregisterNotifications()
{
    UnregisterDeviceNotification(UsbDeviceNotification);
    UnregisterDeviceNotification(UsbHubNotification);
}

void Win32Shell::PostQuit(int exitCode)
{
    PostQuitMessage(exitCode);
}

void Win32Shell::EndMainDialog(int result)
{
    EndDialog(MainWindow, result);
}

void Win32Shell::Beep(uint32_t type)
{
    MessageBeep(type);
}

void* Win32Process::LoadLibraryByName(const char* name)
{
    return reinterpret_cast<void*>(LoadLibraryA(name));
}

void* Win32Process::FindProcedure(void* module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool Win32Process::CallIsWow64Process(void* procedure, int* wow64)
{
    using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64Function>(procedure);
    BOOL answer = FALSE;
    if (!isWow64(GetCurrentProcess(), &answer))
        return false;
    *wow64 = answer ? 1 : 0;
    return true;
}

void Win32Process::FreeLibraryModule(void* module)
{
    FreeLibrary(static_cast<HMODULE>(module));
}

intptr_t Win32Process::ShellOpen(const char* file, const char* parameters)
{
    return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", file, parameters, nullptr, SW_SHOWNORMAL));
}

void Win32Panel::SetFieldText(int control, const char* text)
{
    SetDlgItemTextA(dialog_, control, text);
}

void Win32Panel::SetCheck(int control, bool checked)
{
    CheckDlgButton(dialog_, control, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32Panel::IsChecked(int control)
{
    return IsDlgButtonChecked(dialog_, control) == BST_CHECKED;
}

void Win32Panel::SetBarPosition(int control, int position)
{
    SendDlgItemMessageA(dialog_, control, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
