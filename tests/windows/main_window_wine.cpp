// Drives the real main dialog, built from the real resources, over the
// simulated USB stack, in process: size and layout, the menu's check marks
// (which Wine does not read from another process), the about box's ways of
// closing and the ways out. The shipped exe's tree, panels, advice window,
// about line and F5 are checked from outside by tests/windows/wine_usb.
// Run under Wine; prints PASS/FAIL lines.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/advice_window.h"
#include "app/main_window.h"
#include "app/menu_commands.h"
#include "assess/property_panel.h"
#include "sim/recording_help.h"
#include "sim/sim_memory.h"
#include "sim/sim_registry.h"
#include "sim/sim_usb_platform.h"
#include "sim/topology_loader.h"
#include "tests/windows/check_lines.h"
#include "tree/topology_scan.h"
#include "usb/win32_code_page.h"

namespace {

HACCEL Accelerators = nullptr;
bool QuitSeen = false;
WPARAM QuitCode = 99;

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            QuitSeen = true;
            QuitCode = message.wParam;
            continue;
        }
        DispatchLoopMessage(&message, Accelerators);
    }
}

std::string StatusText()
{
    char text[256] = {};
    SendMessageA(StatusBarWindow, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

bool MenuChecked(int command)
{
    return (GetMenuState(MainMenu, static_cast<UINT>(command), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void Command(int command)
{
    SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    Pump();
}

RECT ClientRectOf(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, MainWindow, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Frame and tree span the client's width, the tree reaches down to the
// status bar, which sits at the bottom.
bool LaidOutToTheClient()
{
    RECT client = {};
    GetClientRect(MainWindow, &client);
    const RECT tree = ClientRectOf(TreeViewWindow);
    const RECT status = ClientRectOf(StatusBarWindow);
    const RECT frame = ClientRectOf(GetDlgItem(MainWindow, 1009));
    return tree.left == 0 && tree.right == client.right && tree.bottom == status.top &&
           status.bottom == client.bottom && status.right == client.right && frame.left == 0 &&
           frame.right == client.right;
}

// The about box, driven by a thread timer while its modal loop runs: reads
// presses Escape, the caption's close box, then OK.
struct AboutRun {
    int stage = 0;
    HWND box = nullptr;
    bool openAfterEscape = false;
    bool openAfterClose = false;
    bool openAfterOk = true;
} About;

BOOL CALLBACK FindAboutBox(HWND window, LPARAM)
{
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof(caption));
    if (std::string(caption) != "Info \xFC" "ber Portolan" || !IsWindowVisible(window))
        return TRUE;
    About.box = window;
    return FALSE;
}

void CALLBACK AboutStep(HWND, UINT, UINT_PTR, DWORD)
{
    if (!About.box)
        EnumThreadWindows(GetCurrentThreadId(), FindAboutBox, 0);
    if (!About.box)
        return;
    HWND focus = GetFocus() ? GetFocus() : About.box;
    switch (About.stage++) {
    case 0:
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        break;
    case 1:
        About.openAfterEscape = IsWindowVisible(About.box) != FALSE;
        PostMessageA(About.box, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case 2:
        About.openAfterClose = IsWindowVisible(About.box) != FALSE;
        PostMessageA(GetDlgItem(About.box, IDOK), BM_CLICK, 0, 0);
        break;
    case 3:
        About.openAfterOk = IsWindowVisible(About.box) != FALSE;
        break;
    default:
        EndDialog(About.box, 2);  // OK did not close it: end the test's wait
        break;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: portolan-window-test TOPOLOGY.json\n");
        return 2;
    }
    SimTopology topology;
    std::string error;
    if (!LoadTopologyFile(argv[1], &topology, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    SimMemory memory;
    SimUsbPlatform usb(topology);
    SimRegistry registry(topology);
    Win32AnsiCodePage codePage;
    ActiveUsbPlatform = &usb;
    ActiveRegistry = &registry;
    ActiveCodePage = &codePage;
    AppInstance = GetModuleHandleA(nullptr);
    Accelerators = LoadAcceleratorsA(AppInstance, MAKEINTRESOURCEA(113));

    // The machine's windows behind the other seams; a recording HTML Help
    // until the real one is tried below.
    InstallWindowPlatform();
    RecordingHelp recordingHelp;
    ActiveHelp = &recordingHelp;
    const uint64_t scansBefore = usb.Count().setsOpened;
    Check(CreateMainWindow(SW_SHOWNORMAL) == 1, "main dialog is created");
    Check(usb.Count().setsOpened == scansBefore + 1, "the dialog's initialisation scans once");
    Check(AutoRefreshEnabled == 0 && AdviceWindowEnabled == 0, "toggles still off before the loop runs");
    {
        // The template's width; the height reaches from the template's top
        // to as far above the bottom of the work area.
        HWND plain = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(101), nullptr, nullptr, 0);
        RECT templateRect = {}, shown = {};
        GetWindowRect(plain, &templateRect);
        DestroyWindow(plain);
        GetWindowRect(MainWindow, &shown);
        Check(shown.right - shown.left == templateRect.right - templateRect.left &&
                  shown.bottom - shown.top == GetSystemMetrics(SM_CYFULLSCREEN) - 2 * shown.top &&
                  shown.top == templateRect.top,
              "window height is the full-screen height less twice its top (" + std::to_string(shown.bottom - shown.top) +
                  ")");
        Check(LaidOutToTheClient(), "first layout: frame and tree span the width, tree down to the status bar at the bottom");
    }
    Pump();

    Check(IsWindowVisible(MainWindow) != FALSE, "window is shown");
    Check(AutoRefreshEnabled == 1 && MenuChecked(40003), "posted 40003 switches auto-refresh on with its mark");
    Check(AdviceWindowEnabled == 1 && MenuChecked(40013), "posted 40013 switches the advice window on with its mark");
    Check(recordingHelp.Topics() == std::vector<int>{100}, "advice window opens on topic 100");

    // Menu check marks; the filters rebuild the tree.
    const int itemsShown = TreeView_GetCount(TreeViewWindow);
    Check(itemsShown > 3 && StatusText().rfind("Connected Hubs: ", 0) == 0, "tree and status '" + StatusText() + "'");
    Command(40003);  // auto-refresh off: only the commands below scan
    Command(40008);
    Command(40010);
    Check(MenuChecked(40008) && MenuChecked(40010) && static_cast<int>(TreeView_GetCount(TreeViewWindow)) > itemsShown,
          "40008 and 40010 check the filters, unused ports appear");
    Command(40008);
    Command(40010);
    Check(!MenuChecked(40008) && !MenuChecked(40010) && static_cast<int>(TreeView_GetCount(TreeViewWindow)) == itemsShown,
          "filters off again");

    // The about box.
    const UINT_PTR aboutTimer = SetTimer(nullptr, 0, 150, AboutStep);
    Command(40005);
    KillTimer(nullptr, aboutTimer);
    Check(About.openAfterEscape, "about box: Escape leaves it open");
    Check(About.openAfterClose, "about box: the caption's close box leaves it open");
    Check(About.stage >= 4 && !About.openAfterOk && !IsWindow(About.box), "about box: OK closes it");

    // Layout.
    const RECT vendorBefore = ClientRectOf(GetDlgItem(MainWindow, 1003));
    const RECT treeBefore = ClientRectOf(TreeViewWindow);
    RECT window = {};
    GetWindowRect(MainWindow, &window);
    SetWindowPos(MainWindow, nullptr, 0, 0, (window.right - window.left) + 200, (window.bottom - window.top) + 150,
                 SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    const RECT treeAfter = ClientRectOf(TreeViewWindow);
    const RECT vendorAfter = ClientRectOf(GetDlgItem(MainWindow, 1003));
    Check(LaidOutToTheClient() && treeAfter.top == treeBefore.top,
          "resized: frame and tree span the new width, the tree keeps its top and reaches down to the status bar");
    Check(EqualRect(&vendorBefore, &vendorAfter) != FALSE, "panel controls keep their place");

    // The ways out: the exit command, then the close box of a second window.
    Command(40001);
    Check(QuitSeen && QuitCode == 0, "40001 posts the quit message with 0");
    Check(TreeView_GetCount(TreeViewWindow) == 0 && !IsWindowVisible(MainWindow), "40001 empties the tree and ends the dialog");
    Check(memory.LiveBlocks() == 0, "no block left after exit");
    DestroyWindow(MainWindow);

    QuitSeen = false;
    MainWindow = nullptr;
    Check(CreateMainWindow(SW_SHOWNORMAL) == 1, "second main dialog");
    Pump();
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    Pump();
    Check(QuitSeen && QuitCode == 0, "close box posts the quit message with 0");
    Check(TreeView_GetCount(TreeViewWindow) == 0 && !IsWindowVisible(MainWindow), "close box empties the tree");
    Check(memory.LiveBlocks() == 0 && usb.OpenHandles() == 0 && registry.OpenKeys() == 0, "nothing left open");

    return CheckSummary("main window");
}
