// Runs the device-tree scan on this machine and prints the tree as the tree
// view holds it: two blanks per depth, the label and the item's image, then
// the status bar's text.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "app/main_window.h"
#include "tree/topology_scan.h"
#include "tree/win32_status_bar.h"
#include "tree/win32_tree_view.h"

namespace {

constexpr char kWindowClass[] = "PortolanLiveReport";

void PrintItems(Win32TreeView& tree, TreeItem item, int depth)
{
    for (; item; item = tree.NextSibling(item)) {
        char label[512] = {};
        TVITEMA fields = {};
        fields.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
        fields.hItem = static_cast<HTREEITEM>(item);
        fields.pszText = label;
        fields.cchTextMax = sizeof(label);
        if (!SendMessageA(tree.Window(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&fields)))
            fields.iImage = -1;
        printf("%*s%s [image %d]\n", depth * 2, "", label, fields.iImage);
        PrintItems(tree, tree.FirstChild(item), depth + 1);
    }
}

}  // namespace

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);

    HWND frame = CreateWindowExA(0, kWindowClass, "Portolan", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                 640, 480, nullptr, nullptr, instance, nullptr);
    HWND treeWindow = frame ? CreateWindowExA(0, WC_TREEVIEWA, "",
                                              WS_CHILD | WS_VISIBLE | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT,
                                              0, 0, 640, 440, frame, nullptr, instance, nullptr)
                            : nullptr;
    HWND statusWindow = frame ? CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame,
                                                nullptr, instance, nullptr)
                              : nullptr;
    if (!treeWindow || !statusWindow) {
        fprintf(stderr, "portolan-live-report: cannot create the windows (error %lu)\n", GetLastError());
        if (frame)
            DestroyWindow(frame);
        return 1;
    }

    // The machine's platform as Portolan.exe installs it, with this tool's
    // own tree and status bar.
    InstallPlatform();
    Win32TreeView tree;
    tree.Attach(treeWindow);
    Win32StatusBar status;
    status.Attach(statusWindow);
    ActiveTreeView = &tree;
    ActiveStatusBar = &status;

    RefreshTree();

    auto first = SendMessageA(treeWindow, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    PrintItems(tree, reinterpret_cast<TreeItem>(first), 0);
    char statusText[256] = {};
    if (LOWORD(SendMessageA(statusWindow, SB_GETTEXTLENGTHA, 0, 0)) < sizeof(statusText))
        SendMessageA(statusWindow, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(statusText));
    printf("status: %s\n", statusText);
    fflush(stdout);

    ClearTree();
    DestroyWindow(frame);
    return 0;
}
