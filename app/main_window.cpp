#include "app/main_window.h"

#include <commctrl.h>
#include <dbt.h>

#include "app/command_ids.h"
#include "app/menu_commands.h"
#include "app/win32_help.h"
#include "app/win32_process.h"
#include "app/win32_shell.h"
#include "assess/win32_panel.h"
#include "tree/win32_status_bar.h"
#include "tree/win32_tree_view.h"
#include "app/advice_window.h"
#include "assess/property_panel.h"
#include "res/resource_ids.h"
#include "tree/topology_scan.h"
#include "usb/bounded_format.h"

HINSTANCE AppInstance = nullptr;
HWND MainWindow = nullptr;
HWND TreeViewWindow = nullptr;
HWND StatusBarWindow = nullptr;
HMENU MainMenu = nullptr;
HDEVNOTIFY UsbDeviceNotification = nullptr;
HDEVNOTIFY UsbHubNotification = nullptr;

namespace {

constexpr UINT kPostedCommands[] = {CommandAutoRefresh, CommandAdviceWindow};

// The Win32 side of the seams both exes share; the tree, status line and
// panel are attached to the dialog's controls when the dialog is made.
Win32TreeView TreeOfDialog;
Win32StatusBar StatusOfDialog;
Win32Panel PanelOfDialog;
Win32Shell ShellOfMachine;
Win32Help HelpOfMachine;
Win32Process ProcessOfMachine;

// GUID_DEVINTERFACE_USB_DEVICE and GUID_DEVINTERFACE_USB_HUB.
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr GUID kUsbHubInterface = {0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};

HDEVNOTIFY RegisterFor(HWND window, const GUID& interfaceClass)
{
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = interfaceClass;
    return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

// The screen rectangle of a control.
RECT ControlScreenRect(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    return rect;
}

LRESULT OnNotify(HWND window, LPARAM lParam)
{
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header)
        return 0;
    TreeItem item = nullptr;
    if (header->code == TVN_SELCHANGEDA)
        item = reinterpret_cast<const NMTREEVIEWA*>(lParam)->itemNew.hItem;
    return OnSelectionChanged(window, header->code, item);
}

}  // namespace

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32);
static_assert(static_cast<uint32_t>(TVN_SELCHANGEDA) == kTreeSelectionChanged);

void InstallWindowPlatform()
{
    ActiveTreeView = &TreeOfDialog;
    ActiveStatusBar = &StatusOfDialog;
    ActivePanel = &PanelOfDialog;
    ActiveShell = &ShellOfMachine;
    ActiveHelp = &HelpOfMachine;
    ActiveProcess = &ProcessOfMachine;
}

void InitMainDialog(HWND window)
{
    HICON icon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_PORTOLAN));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    UsbDeviceNotification = RegisterFor(window, kUsbDeviceInterface);
    UsbHubNotification = RegisterFor(window, kUsbHubInterface);

    TreeViewWindow = GetDlgItem(window, IDC_DEVICE_TREE);
    TreeOfDialog.Attach(TreeViewWindow);
    HIMAGELIST images =
        ImageList_LoadImageA(AppInstance, MAKEINTRESOURCEA(IDB_TREE_IMAGES), TreeImageSize, TreeImageGrowBy, TreeImageMaskColour, IMAGE_BITMAP, 0);
    SendMessageA(TreeViewWindow, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));

    SendDlgItemMessageA(window, IDC_SPEED_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 4));

    StatusBarWindow = GetDlgItem(window, IDC_STATUS_BAR);
    StatusOfDialog.Attach(StatusBarWindow);
    MainMenu = GetMenu(window);
    PanelOfDialog.Attach(window);

    RefreshTree();
}

void LayoutMainWindow()
{
    // Before CreateMainWindow has stored the window there is nothing to lay out.
    if (!MainWindow || !TreeViewWindow || !StatusBarWindow)
        return;
    RECT client = {};
    GetClientRect(MainWindow, &client);
    const int width = client.right;
    const int height = client.bottom;
    POINT origin = {0, 0};
    ClientToScreen(MainWindow, &origin);

    HWND frame = GetDlgItem(MainWindow, IDC_PANEL_FRAME);
    const RECT frameRect = ControlScreenRect(frame);
    const RECT treeRect = ControlScreenRect(TreeViewWindow);
    const RECT statusRect = ControlScreenRect(StatusBarWindow);
    const int statusHeight = statusRect.bottom - statusRect.top;
    const int treeTop = treeRect.top - origin.y;

    MoveWindow(frame, 0, frameRect.top - origin.y, width, frameRect.bottom - frameRect.top, TRUE);
    MoveWindow(TreeViewWindow, 0, treeTop, width, height - statusHeight - treeTop, TRUE);
    MoveWindow(StatusBarWindow, 0, height - statusHeight, width, statusHeight, TRUE);
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitMainDialog(window);
        return 0;
    case WM_SIZE:
        LayoutMainWindow();
        return 0;
    case WM_CLOSE:
        CloseMainWindow(window);
        return 0;
    case WM_NOTIFY:
        return OnNotify(window, lParam);
    case WM_COMMAND:
        HandleMenuCommand(window, LOWORD(wParam), lParam, HIWORD(wParam));
        return 0;
    case WM_DEVICECHANGE:
        OnDeviceChange(window, wParam);
        // A dialog procedure's own result only says "handled"; the sender
        // sees DWLP_MSGRESULT, so TRUE goes there to grant every request.
        SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    default:
        return 0;
    }
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        char format[40] = {};
        GetDlgItemTextA(dialog, IDC_BIT_VERSION, format, sizeof(format));
        char line[50] = {};
        StringCchPrintfA(line, sizeof(line), format, static_cast<int>(sizeof(void*) * 8));
        SetDlgItemTextA(dialog, IDC_BIT_VERSION, line);
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, 0);
    }
    return 0;
}

int CreateMainWindow(int showState)
{
    InitCommonControls();
    HWND window = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (!window)
        return 0;
    MainWindow = window;

    RECT rect = {};
    GetWindowRect(MainWindow, &rect);
    const int height = GetSystemMetrics(SM_CYFULLSCREEN) - 2 * rect.top;
    SetWindowPos(MainWindow, nullptr, 0, 0, rect.right - rect.left, height, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(MainWindow, showState);
    UpdateWindow(MainWindow);
    for (UINT command : kPostedCommands)
        PostMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return 1;
}

int ExtractHelpFile()
{
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_HELP_FILE), RT_RCDATA);
    if (!resource)
        return 0;
    const DWORD size = SizeofResource(nullptr, resource);
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!size || !bytes)
        return 0;
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    SetCurrentDirectoryA(folder);
    HANDLE file = CreateFileA(kHelpFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    WriteFile(file, bytes, size, &written, nullptr);
    CloseHandle(file);
    return 1;
}

void DispatchLoopMessage(MSG* message, HACCEL accelerators)
{
    if (TranslateAcceleratorA(MainWindow, accelerators, message))
        return;
    if (IsDialogMessageA(MainWindow, message))
        return;
    TranslateMessage(message);
    DispatchMessageA(message);
}
