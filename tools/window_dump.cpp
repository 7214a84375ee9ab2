// Reads a running Portolan.exe from outside, as portolan-report --json
// prints a simulated PC: waits for the main window, switches the view
// options through its menu commands, reads every tree item and, selecting
// each in turn, the property panel, then closes the window with "&Beenden".
// Prints one JSON object (texts as UTF-8).
//
//   portolan-window-dump.exe [--show-unused-ports] [--show-unused-controllers] [--keep-open]
//   portolan-window-dump.exe --wait                 only waits for the main window
//   portolan-window-dump.exe [--select LABEL] --command ID
//       selects the first item of that label (UTF-8) and sends the menu command
//   portolan-window-dump.exe --close-by-caption     closes it as the caption's close box does
#include <windows.h>

#include <shellapi.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "res/resource_ids.h"

namespace {

constexpr char kCaption[] = " USB-Kompatibilit\xE4tscheck";

// A record in the other process, for messages whose lParam points at one.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, SIZE_T size) : process_(process)
    {
        remote_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer()
    {
        if (remote_)
            VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    char* At(SIZE_T offset) const { return static_cast<char*>(remote_) + offset; }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        return remote_ && WriteProcessMemory(process_, At(offset), data, size, nullptr);
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const
    {
        return remote_ && ReadProcessMemory(process_, At(offset), data, size, nullptr);
    }

private:
    HANDLE process_;
    void* remote_;
};

std::string Utf8(const std::wstring& wide)
{
    std::string out(wide.size() * 4, '\0');
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                                          static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
    return out;
}

std::string Utf8(const std::string& cp1252)
{
    std::wstring wide(cp1252.size(), L'\0');
    const int units = MultiByteToWideChar(1252, 0, cp1252.data(), static_cast<int>(cp1252.size()), wide.data(),
                                          static_cast<int>(wide.size()));
    wide.resize(units > 0 ? static_cast<size_t>(units) : 0);
    return Utf8(wide);
}

// Argument `index` as UTF-8: argv holds it in the ANSI code page.
std::string Utf8Argument(int index)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::string out = arguments && index < count ? Utf8(std::wstring(arguments[index])) : "";
    LocalFree(arguments);
    return out;
}

std::string Quoted(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

struct Item {
    HTREEITEM handle;
    int depth;
    std::string label;
    int image;
    std::string panel;
};

class Window {
public:
    Window(HWND main, HANDLE process) : main_(main), process_(process), tree_(GetDlgItem(main, IDC_DEVICE_TREE)) {}

    // Text and image of a tree item, through a TVITEM in the other process.
    void ItemOf(HTREEITEM item, std::string* label, int* image) const
    {
        RemoteBuffer buffer(process_, 4096);
        TVITEMA data = {};
        data.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = buffer.At(1024);
        data.cchTextMax = 1024;
        buffer.Write(0, &data, sizeof(data));
        SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer.At(0)));
        char text[1025] = {};
        buffer.Read(1024, text, 1024);
        buffer.Read(0, &data, sizeof(data));
        *label = Utf8(text);
        *image = data.iImage;
    }

    std::string Status() const
    {
        RemoteBuffer buffer(process_, 1024);
        SendMessageA(GetDlgItem(main_, IDC_STATUS_BAR), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(buffer.At(0)));
        char text[1025] = {};
        buffer.Read(0, text, 1024);
        return Utf8(text);
    }

    std::string Text(int id) const
    {
        char text[1024] = {};
        // WM_GETTEXT is carried across processes by the system.
        SendMessageA(GetDlgItem(main_, id), WM_GETTEXT, sizeof(text) - 1, reinterpret_cast<LPARAM>(text));
        return Utf8(text);
    }

    bool Checked(int id) const
    {
        return SendMessageA(GetDlgItem(main_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    // Selects the item as a click does and reads the panel it shows.
    std::string Panel(HTREEITEM item) const
    {
        SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        const auto bar = SendMessageA(GetDlgItem(main_, IDC_SPEED_BAR), PBM_GETPOS, 0, 0);
        std::string out = "{";
        const std::pair<const char*, int> texts[] = {
            {"vendor_id", IDC_VENDOR_ID},        {"vendor_name", IDC_VENDOR_NAME},
            {"product_id", IDC_PRODUCT_ID},      {"product_name", IDC_PRODUCT_NAME},
            {"pnp_instance", IDC_PNP_INSTANCE_ID}, {"configurations", IDC_CONFIGURATION_COUNT},
            {"serial", IDC_SERIAL_NUMBER},       {"speed", IDC_SPEED_NAME}};
        for (const auto& [key, id] : texts)
            out += Quoted(key) + ": " + Quoted(Text(id)) + ", ";
        out += "\"bar\": " + std::to_string(bar);
        const std::pair<const char*, int> checks[] = {{"ctrl", IDC_CONTROL_TRANSFERS},
                                                      {"bulk", IDC_BULK_TRANSFERS},
                                                      {"intr", IDC_INTERRUPT_TRANSFERS},
                                                      {"isoc", IDC_ISOCHRONOUS_TRANSFERS}};
        for (const auto& [key, id] : checks)
            out += std::string(", ") + Quoted(key) + ": " + (Checked(id) ? "true" : "false");
        return out + "}";
    }

    // The items in tree order; with `panels`, selecting each to read its panel.
    void Walk(HTREEITEM item, int depth, bool panels, std::vector<Item>* items) const
    {
        for (; item; item = TreeView_GetNextSibling(tree_, item)) {
            Item entry{item, depth, "", 0, ""};
            ItemOf(item, &entry.label, &entry.image);
            if (panels)
                entry.panel = Panel(item);
            items->push_back(entry);
            Walk(TreeView_GetChild(tree_, item), depth + 1, panels, items);
        }
    }

    HWND Tree() const { return tree_; }

private:
    HWND main_;
    HANDLE process_;
    HWND tree_;
};

// The check mark of a menu command. Wine does not read another process's
// menus (GetMenuState gives -1); both options start unchecked.
bool MenuChecked(HWND main, UINT command)
{
    const UINT state = GetMenuState(GetMenu(main), command, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

}  // namespace

int main(int argc, char** argv)
{
    bool unusedPorts = false;
    bool unusedControllers = false;
    bool keepOpen = false;
    bool waitOnly = false;
    bool closeByCaption = false;
    std::string select;
    int command = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--show-unused-ports")
            unusedPorts = true;
        else if (arg == "--show-unused-controllers")
            unusedControllers = true;
        else if (arg == "--keep-open")
            keepOpen = true;
        else if (arg == "--wait")
            waitOnly = true;
        else if (arg == "--close-by-caption")
            closeByCaption = true;
        else if (arg == "--select" && i + 1 < argc)
            select = Utf8Argument(++i);
        else if (arg == "--command" && i + 1 < argc)
            command = atoi(argv[++i]);
        else {
            fprintf(stderr, "usage: portolan-window-dump [--show-unused-ports] [--show-unused-controllers] "
                            "[--keep-open] | --wait | --close-by-caption | [--select LABEL] --command ID\n");
            return 2;
        }
    }
    HWND main = nullptr;
    for (int i = 0; i < 600 && !main; ++i) {
        main = FindWindowA(nullptr, kCaption);
        if (!main)
            Sleep(50);
    }
    if (!main) {
        fprintf(stderr, "portolan-window-dump: no main window after 30 s\n");
        return 1;
    }
    // The window exists while its first refresh still runs (in WM_INITDIALOG).
    // A sent message is answered only once the thread takes messages again,
    // so the refresh and the window's showing are done after this one.
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer)) {
        fprintf(stderr, "portolan-window-dump: the window does not answer after 60 s\n");
        return 1;
    }
    for (int i = 0; i < 600 && !IsWindowVisible(main); ++i)
        Sleep(50);
    if (waitOnly)
        return 0;
    if (closeByCaption) {
        PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) {
        fprintf(stderr, "portolan-window-dump: cannot open the process (error %lu)\n", GetLastError());
        return 1;
    }
    // The menu commands toggle the options; each refreshes the tree before it returns.
    if (MenuChecked(main, IDM_UNUSED_PORTS) != unusedPorts)
        SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_UNUSED_PORTS, 0), 0);
    if (MenuChecked(main, IDM_UNUSED_CONTROLLERS) != unusedControllers)
        SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_UNUSED_CONTROLLERS, 0), 0);

    Window window(main, process);
    if (command) {
        if (!select.empty()) {
            std::vector<Item> items;
            window.Walk(TreeView_GetRoot(window.Tree()), 0, false, &items);
            HTREEITEM found = nullptr;
            for (const Item& item : items)
                if (!found && item.label == select)
                    found = item.handle;
            if (!found) {
                fprintf(stderr, "portolan-window-dump: no item \"%s\"\n", select.c_str());
                return 1;
            }
            SendMessageA(window.Tree(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(found));
        }
        SendMessageA(main, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        CloseHandle(process);
        return 0;
    }
    std::vector<Item> items;
    window.Walk(TreeView_GetRoot(window.Tree()), 0, true, &items);
    std::string out = "{\"status\": " + Quoted(window.Status()) + ", \"items\": [";
    for (size_t i = 0; i < items.size(); ++i) {
        out += i ? ", " : "";
        out += "{\"depth\": " + std::to_string(items[i].depth) + ", \"label\": " + Quoted(items[i].label) +
               ", \"image\": " + std::to_string(items[i].image) + ", \"panel\": " + items[i].panel + "}";
    }
    out += "]}\n";
    fwrite(out.data(), 1, out.size(), stdout);
    fflush(stdout);
    CloseHandle(process);
    if (!keepOpen)
        PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    return 0;
}
