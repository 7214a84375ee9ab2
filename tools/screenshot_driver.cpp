// Drives a running PortolanDemo.exe from outside for screenshots.
//
//   portolan-screenshot-driver COMMAND...
//     wait           wait for the main window and a filled tree
//     select [TEXT]  select the first device item (image 4, depth >= 3),
//                    or the first such item whose label holds TEXT
//     advice-off     switch the advice window off (WM_COMMAND 40013)
//     about          open the about box (WM_COMMAND 40005)
//     close          close the about box and the main window
//
// Commands run in order. Window rectangles are printed in screen
// coordinates as "NAME LEFT TOP WIDTH HEIGHT", which under Wine are those of
// the X root window. Reading tree items needs a TVITEMA in the other process,
// so the driver must have the target's bitness.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kMainCaption[] = " USB-Kompatibilit\xE4tscheck";
const char kDialogClass[] = "#32770";
const char kAboutCaption[] = "Info \xFC" "ber Portolan";
constexpr int kTreeId = 1000;
constexpr int kVendorIdField = 1003;
constexpr int kProductIdField = 1004;
constexpr int kVendorNameField = 1005;
constexpr int kProductNameField = 1006;
constexpr int kAboutCommand = 40005;
constexpr int kAdviceCommand = 40013;
constexpr int kDeviceImage = 4;
constexpr int kDeviceDepth = 3;

// Dialogs only: the advice window carries the main window's caption too.
HWND WaitForWindow(const char* caption, int milliseconds)
{
    for (int waited = 0; waited <= milliseconds; waited += 100) {
        HWND window = FindWindowA(kDialogClass, caption);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(100);
    }
    return nullptr;
}

void PrintRect(const char* name, HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    printf("%s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

// A block in the other process for messages whose lParam is a pointer.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, SIZE_T size) : process_(process)
    {
        base_ = static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteBlock()
    {
        if (base_)
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    bool Valid() const { return base_ != nullptr; }
    char* At(SIZE_T offset) const { return base_ + offset; }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        return WriteProcessMemory(process_, At(offset), data, size, nullptr) != FALSE;
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const
    {
        return ReadProcessMemory(process_, At(offset), data, size, nullptr) != FALSE;
    }

private:
    HANDLE process_;
    char* base_;
};

constexpr SIZE_T kTextOffset = 512;
constexpr SIZE_T kTextSize = 512;

bool ReadItem(const RemoteBlock& block, HWND tree, HTREEITEM item, std::string* label, int* image)
{
    TVITEMA data = {};
    data.mask = TVIF_TEXT | TVIF_IMAGE;
    data.hItem = item;
    data.pszText = block.At(kTextOffset);
    data.cchTextMax = kTextSize;
    if (!block.Write(0, &data, sizeof(data)))
        return false;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.At(0))))
        return false;
    char text[kTextSize + 1] = {};
    if (!block.Read(0, &data, sizeof(data)) || !block.Read(kTextOffset, text, kTextSize))
        return false;
    *label = text;
    *image = data.iImage;
    return true;
}

HTREEITEM Next(HWND tree, UINT relation, HTREEITEM item)
{
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// Depth-first, in display order: the first item of image 4 at depth >= 3
// whose label contains `part`.
HTREEITEM FindDevice(const RemoteBlock& block, HWND tree, const std::string& part, std::string* label)
{
    HTREEITEM item = Next(tree, TVGN_ROOT, nullptr);
    int depth = 0;
    while (item) {
        int image = -1;
        if (ReadItem(block, tree, item, label, &image) && image == kDeviceImage && depth >= kDeviceDepth &&
            label->find(part) != std::string::npos)
            return item;
        if (HTREEITEM child = Next(tree, TVGN_CHILD, item)) {
            item = child;
            ++depth;
            continue;
        }
        while (item && !Next(tree, TVGN_NEXT, item)) {
            item = Next(tree, TVGN_PARENT, item);
            --depth;
        }
        if (item)
            item = Next(tree, TVGN_NEXT, item);
    }
    return nullptr;
}

// WM_GETTEXT is marshalled between processes by the system.
std::string ControlText(HWND dialog, int control)
{
    char text[256] = {};
    SendDlgItemMessageA(dialog, control, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

bool Wait(HWND* main)
{
    *main = WaitForWindow(kMainCaption, 30000);
    if (!*main) {
        fprintf(stderr, "screenshot-driver: no main window\n");
        return false;
    }
    HWND tree = GetDlgItem(*main, kTreeId);
    for (int waited = 0; waited < 10000; waited += 100) {
        if (SendMessageA(tree, TVM_GETCOUNT, 0, 0) > 1) {
            PrintRect("main", *main);
            return true;
        }
        Sleep(100);
    }
    fprintf(stderr, "screenshot-driver: the tree stays empty\n");
    return false;
}

bool Select(HWND main, const std::string& part)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) {
        fprintf(stderr, "screenshot-driver: cannot open the process\n");
        return false;
    }
    HWND tree = GetDlgItem(main, kTreeId);
    std::string label;
    HTREEITEM item = nullptr;
    {
        RemoteBlock block(process, kTextOffset + kTextSize);
        if (block.Valid())
            item = FindDevice(block, tree, part, &label);
    }
    CloseHandle(process);
    if (!item) {
        fprintf(stderr, "screenshot-driver: no device item%s%s\n", part.empty() ? "" : " with ", part.c_str());
        return false;
    }
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    SendMessageA(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    for (int waited = 0; waited < 5000; waited += 100) {
        if (!ControlText(main, kVendorIdField).empty()) {
            printf("selected %s\n", label.c_str());
            printf("vendor %s %s\n", ControlText(main, kVendorIdField).c_str(), ControlText(main, kVendorNameField).c_str());
            printf("product %s %s\n", ControlText(main, kProductIdField).c_str(),
                   ControlText(main, kProductNameField).c_str());
            return true;
        }
        Sleep(100);
    }
    fprintf(stderr, "screenshot-driver: selected '%s' but the panel stays empty\n", label.c_str());
    return false;
}

bool About(HWND main)
{
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(kAboutCommand, 0), 0);
    HWND about = WaitForWindow(kAboutCaption, 10000);
    if (!about) {
        fprintf(stderr, "screenshot-driver: no about box\n");
        return false;
    }
    PrintRect("about", about);
    return true;
}

struct OtherWindows {
    DWORD process;
    HWND main;
    int visible;
};

BOOL CALLBACK CountOtherWindow(HWND window, LPARAM data)
{
    auto* other = reinterpret_cast<OtherWindows*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == other->process && window != other->main && IsWindowVisible(window))
        ++other->visible;
    return TRUE;
}

// Visible top-level windows of the demo besides the main window.
int OtherVisibleWindows(HWND main)
{
    OtherWindows other = {0, main, 0};
    GetWindowThreadProcessId(main, &other.process);
    EnumWindows(CountOtherWindow, reinterpret_cast<LPARAM>(&other));
    return other.visible;
}

// The application switches the advice window on once at start; the same
// command switches it off again. Its menu check mark cannot be read from
// another process under Wine, so success is judged by the windows it leaves.
bool AdviceOff(HWND main)
{
    Sleep(1000);
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(kAdviceCommand, 0), 0);
    for (int waited = 0; waited < 5000; waited += 100) {
        if (OtherVisibleWindows(main) == 0) {
            printf("advice off\n");
            return true;
        }
        Sleep(100);
    }
    fprintf(stderr, "screenshot-driver: %d other window(s) stay open\n", OtherVisibleWindows(main));
    return false;
}

void Close(HWND main)
{
    if (HWND about = FindWindowA(kDialogClass, kAboutCaption))
        PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    Sleep(200);
    PostMessageA(main, WM_CLOSE, 0, 0);
    printf("closed\n");
}

bool IsCommand(const char* word)
{
    for (const char* command : {"wait", "select", "advice-off", "about", "close"})
        if (std::strcmp(word, command) == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: portolan-screenshot-driver wait|select [TEXT]|advice-off|about|close...\n");
        return 2;
    }
    HWND main = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string command = argv[i];
        if (command != "wait" && !main && !Wait(&main))
            return 1;
        bool ok = true;
        if (command == "wait") {
            ok = Wait(&main);
        } else if (command == "select") {
            std::string part;
            if (i + 1 < argc && !IsCommand(argv[i + 1]))
                part = argv[++i];
            ok = Select(main, part);
        } else if (command == "advice-off") {
            ok = AdviceOff(main);
        } else if (command == "about") {
            ok = About(main);
        } else if (command == "close") {
            Close(main);
        } else {
            fprintf(stderr, "screenshot-driver: unknown command '%s'\n", command.c_str());
            return 2;
        }
        fflush(stdout);
        if (!ok)
            return 1;
    }
    return 0;
}
