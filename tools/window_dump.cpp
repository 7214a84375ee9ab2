// Reads and drives a running Portolan.exe (or PortolanDemo.exe) from outside,
// 32-bit or 64-bit, for the checks, the screenshots and the run script:
// waits for the main window, switches the view options through its menu
// commands, reads every tree item and, selecting each in turn, the property
// panel, then closes the window with "&Beenden". Prints one JSON object
// (texts as UTF-8) in the shape of portolan-report --json, with two keys
// more, both read right after start-up: "windows" (the main window's and
// the advice window's caption and rectangle, SM_CXFULLSCREEN) and "about"
// (line 1020 of the about box, opened and closed through its OK button).
//
//   portolan-window-dump.exe [--show-unused-ports] [--show-unused-controllers]
//   portolan-window-dump.exe [...] --keep-open   status and items only; the window stays
//   portolan-window-dump.exe --wait              only waits for the main window
//   portolan-window-dump.exe --close-by-caption  closes it as the caption's close box does
//   portolan-window-dump.exe ACTION...           in the order given, the window stays:
//       --select LABEL    selects the first item of that label (UTF-8), as a click does
//       --select-device TEXT  selects the first device whose label holds TEXT
//                         and prints {"selected", "panel"}
//       --advice-off      switches the advice window off through its menu command
//       --about           opens the about box and prints {"about": {"caption", "rect"}}
//       --command ID      sends the menu command
//       --move LEFT TOP   moves the main window
//       --windows         prints the "windows" object
//       --press-f5 N      posts F5 N times to the tree view and waits until all are handled
//       --resources       prints the process's handles, commit charge and USER/GDI objects
//       --exit            closes an open about box, then "&Beenden"; waits for the
//                         process to end and prints {"exit": CODE}
//   portolan-window-dump.exe --message-box CAPTION
//       waits for a message box of that caption, of any program, prints
//       {"caption", "text"} and closes it through its OK button.
//   portolan-window-dump.exe --start DIR EXE [ARGS...]
//       starts EXE in DIR with ARGS, counts the windows it shows until it
//       ends, and prints {"x86_exit", "x86_windows", "x64_command_line"}:
//       its exit code and the command line of the Portolan.exe whose main
//       window then shows (the 64-bit build it handed over to), left running.
#include <windows.h>

#include <psapi.h>
#include <shellapi.h>
#include <winternl.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "res/resource_ids.h"
#include "tree/tree_node_info.h"

namespace {

constexpr char kCaption[] = " USB-Kompatibilit\xE4tscheck";
constexpr char kAboutCaption[] = "Info \xFC" "ber Portolan";
constexpr char kDialogClass[] = "#32770";
constexpr char kHelpWindowClass[] = "HH Parent";

// TVITEMA as a 32-bit process lays it out.
struct TvItem32 {
    UINT mask;
    DWORD hItem;
    UINT state;
    UINT stateMask;
    DWORD pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    DWORD lParam;
};
static_assert(sizeof(TvItem32) == 40);

int Fail(const char* what)
{
    fprintf(stderr, "portolan-window-dump: %s\n", what);
    return 1;
}

// A record in the other process, for messages whose lParam points at one.
// In a 32-bit process it lies below 4 GiB, where its pointers can reach.
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

// The arguments as UTF-16: argv holds them in the ANSI code page.
std::vector<std::wstring> WideArguments()
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> out;
    for (int i = 0; arguments && i < count; ++i)
        out.emplace_back(arguments[i]);
    LocalFree(arguments);
    return out;
}

using Json = nlohmann::ordered_json;

// One line of JSON on stdout.
void Print(const Json& value)
{
    printf("%s\n", value.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
    fflush(stdout);
}

std::string WindowText(HWND window)
{
    char text[1024] = {};
    // WM_GETTEXT is carried across processes by the system.
    SendMessageA(window, WM_GETTEXT, sizeof(text) - 1, reinterpret_cast<LPARAM>(text));
    return Utf8(std::string(text));
}

Json WindowJson(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {{"caption", WindowText(window)}, {"rect", {rect.left, rect.top, rect.right, rect.bottom}}};
}

DWORD ProcessOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// The top-level windows of a process, of one class or all; visible ones only.
struct WindowSearch {
    DWORD processId;
    const char* className;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    if (ProcessOf(window) == search->processId && (!search->className || strcmp(name, search->className) == 0) &&
        (!search->visibleOnly || IsWindowVisible(window)))
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId, const char* className, bool visibleOnly)
{
    WindowSearch search{processId, className, visibleOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Asks done() every 50 ms for up to ms milliseconds; true once it holds.
template <typename Done>
bool WaitUntil(DWORD ms, Done done)
{
    for (const DWORD start = GetTickCount(); !done(); Sleep(50))
        if (GetTickCount() - start > ms)
            return false;
    return true;
}

// The main window, once its start-up refresh is done and it is shown.
HWND WaitForMainWindow()
{
    // A loaded machine may take a while to start a Wine process.
    HWND main = nullptr;
    if (!WaitUntil(90000, [&] { return (main = FindWindowA(kDialogClass, kCaption)) != nullptr; })) {
        Fail("no main window after 90 s");
        return nullptr;
    }
    // The window exists while its first refresh still runs (in WM_INITDIALOG).
    // A sent message is answered only once the thread takes messages again,
    // so the refresh and the window's showing are done after this one.
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer)) {
        Fail("the window does not answer after 60 s");
        return nullptr;
    }
    WaitUntil(30000, [&] { return IsWindowVisible(main); });
    return main;
}

struct Item {
    HTREEITEM handle;
    int depth;
    std::string label;
    int image;
    Json panel;
};

class Window {
public:
    Window(HWND main, HANDLE process) : main_(main), process_(process), tree_(GetDlgItem(main, IDC_DEVICE_TREE))
    {
        BOOL wow64 = FALSE;
        // A 32-bit process on 64-bit Windows; this reader is a 64-bit one.
        target32_ = sizeof(void*) == 4 || (IsWow64Process(process, &wow64) && wow64);
    }

    // Text and image of a tree item, through a TVITEM laid out as the other
    // process lays it out.
    void ItemOf(HTREEITEM item, std::string* label, int* image) const
    {
        constexpr SIZE_T kText = 1024;
        RemoteBuffer buffer(process_, 4096);
        const UINT mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
        TVITEMA data = {};
        TvItem32 data32 = {};
        if (target32_) {
            data32.mask = mask;
            data32.hItem = static_cast<DWORD>(reinterpret_cast<uintptr_t>(item));
            data32.pszText = static_cast<DWORD>(reinterpret_cast<uintptr_t>(buffer.At(kText)));
            data32.cchTextMax = kText;
            buffer.Write(0, &data32, sizeof(data32));
        } else {
            data.mask = mask;
            data.hItem = item;
            data.pszText = buffer.At(kText);
            data.cchTextMax = kText;
            buffer.Write(0, &data, sizeof(data));
        }
        SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer.At(0)));
        char text[kText + 1] = {};
        buffer.Read(kText, text, kText);
        *label = Utf8(std::string(text));
        if (target32_) {
            buffer.Read(0, &data32, sizeof(data32));
            *image = data32.iImage;
        } else {
            buffer.Read(0, &data, sizeof(data));
            *image = data.iImage;
        }
    }

    std::string Status() const
    {
        RemoteBuffer buffer(process_, 1024);
        SendMessageA(GetDlgItem(main_, IDC_STATUS_BAR), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(buffer.At(0)));
        char text[1025] = {};
        buffer.Read(0, text, 1024);
        return Utf8(std::string(text));
    }

    bool Checked(int id) const { return SendMessageA(GetDlgItem(main_, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    // Selects the item as a click does and reads the panel it shows.
    Json Panel(HTREEITEM item) const
    {
        Select(item);
        Json panel;
        const std::pair<const char*, int> texts[] = {
            {"vendor_id", IDC_VENDOR_ID},        {"vendor_name", IDC_VENDOR_NAME},
            {"product_id", IDC_PRODUCT_ID},      {"product_name", IDC_PRODUCT_NAME},
            {"pnp_instance", IDC_PNP_INSTANCE_ID}, {"configurations", IDC_CONFIGURATION_COUNT},
            {"serial", IDC_SERIAL_NUMBER},       {"speed", IDC_SPEED_NAME}};
        for (const auto& [key, id] : texts)
            panel[key] = WindowText(GetDlgItem(main_, id));
        panel["bar"] = SendMessageA(GetDlgItem(main_, IDC_SPEED_BAR), PBM_GETPOS, 0, 0);
        const std::pair<const char*, int> checks[] = {{"ctrl", IDC_CONTROL_TRANSFERS},
                                                      {"bulk", IDC_BULK_TRANSFERS},
                                                      {"intr", IDC_INTERRUPT_TRANSFERS},
                                                      {"isoc", IDC_ISOCHRONOUS_TRANSFERS}};
        for (const auto& [key, id] : checks)
            panel[key] = Checked(id);
        return panel;
    }

    void Select(HTREEITEM item) const { SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)); }

    // The items in tree order; with `panels`, selecting each to read its panel.
    void Walk(HTREEITEM item, int depth, bool panels, std::vector<Item>* items) const
    {
        for (; item; item = TreeView_GetNextSibling(tree_, item)) {
            Item entry{item, depth, "", 0, nullptr};
            ItemOf(item, &entry.label, &entry.image);
            if (panels)
                entry.panel = Panel(item);
            items->push_back(entry);
            Walk(TreeView_GetChild(tree_, item), depth + 1, panels, items);
        }
    }

    // The first item in tree order that match() accepts; one without a handle when none does.
    template <typename Match>
    Item First(Match match) const
    {
        std::vector<Item> items;
        Walk(TreeView_GetRoot(tree_), 0, false, &items);
        for (const Item& item : items)
            if (match(item))
                return item;
        return Item{};
    }

    // "status" and "items" into out.
    void Tree(bool panels, Json& out) const
    {
        std::vector<Item> items;
        Walk(TreeView_GetRoot(tree_), 0, panels, &items);
        out["status"] = Status();
        out["items"] = Json::array();
        for (const Item& item : items) {
            Json entry = {{"depth", item.depth}, {"label", item.label}, {"image", item.image}};
            if (panels)
                entry["panel"] = item.panel;
            out["items"].push_back(entry);
        }
    }

    // The advice windows shown, given up to 5 s to show after start-up's
    // posted commands.
    std::vector<HWND> WaitForAdvice() const
    {
        std::vector<HWND> advice;
        WaitUntil(5000, [&] { return !(advice = TopLevelWindows(ProcessOf(main_), kHelpWindowClass, true)).empty(); });
        return advice;
    }

    // The main and the advice window, with SM_CXFULLSCREEN.
    Json Windows() const
    {
        const std::vector<HWND> advice = WaitForAdvice();
        return {{"main", WindowJson(main_)},
                {"advice", advice.empty() ? Json(nullptr) : WindowJson(advice[0])},
                {"cx_fullscreen", GetSystemMetrics(SM_CXFULLSCREEN)}};
    }

    // The about box, opened by its command; null when it does not show.
    HWND OpenAbout() const
    {
        PostMessageA(main_, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
        HWND box = nullptr;
        WaitUntil(10000, [&] { return (box = AboutBox()) != nullptr; });
        return box;
    }

    HWND AboutBox() const
    {
        HWND box = FindWindowA(kDialogClass, kAboutCaption);
        return box && ProcessOf(box) == ProcessOf(main_) && IsWindowVisible(box) ? box : nullptr;
    }

    // Closes the about box through its OK button; false when it stays.
    static bool CloseAbout(HWND box)
    {
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        return WaitUntil(10000, [&] { return !IsWindow(box); });
    }

    // Line 1020 of the about box, opened and closed again.
    Json About() const
    {
        HWND box = OpenAbout();
        if (!box)
            return nullptr;
        const std::string line = WindowText(GetDlgItem(box, IDC_BIT_VERSION));
        return CloseAbout(box) ? Json(line) : Json(nullptr);
    }

    // Switches the advice window off with its menu command, once the
    // start-up has opened it; true when no other window of the program shows.
    bool AdviceOff() const
    {
        WaitForAdvice();
        SendMessageA(main_, WM_COMMAND, MAKEWPARAM(IDM_ADVICE_WINDOW, 0), 0);
        return WaitUntil(5000, [&] { return TopLevelWindows(ProcessOf(main_), nullptr, true).size() == 1; });
    }

    // Posts F5 to the tree view as a key press does; the accelerator of the
    // message loop turns each into a refresh. An indentation posted after
    // them tells when the loop has taken them all; the old one comes back.
    bool PressF5(int count) const
    {
        const auto indent = SendMessageA(tree_, TVM_GETINDENT, 0, 0);
        static UINT marker = 100;
        int done = 0;
        do {
            const int batch = count - done < 100 ? count - done : 100;
            for (int i = 0; i < batch; ++i) {
                PostMessageA(tree_, WM_KEYDOWN, VK_F5, 0x003F0001);
                PostMessageA(tree_, WM_KEYUP, VK_F5, 0xC03F0001);
            }
            done += batch;
            marker = marker >= 400 ? 100 : marker + 1;
            PostMessageA(tree_, TVM_SETINDENT, marker, 0);
            if (!WaitUntil(300000, [&] { return static_cast<UINT>(SendMessageA(tree_, TVM_GETINDENT, 0, 0)) == marker; }))
                return false;
        } while (done < count);
        SendMessageA(tree_, TVM_SETINDENT, static_cast<WPARAM>(indent), 0);
        return true;
    }

    // Handles as the system's process list counts them (Wine's
    // GetProcessHandleCount gives 0), the commit charge, USER and GDI objects.
    Json Resources() const
    {
        ULONG handles = 0;
        ULONG size = 1 << 20;
        std::vector<char> list(size);
        const DWORD processId = GetProcessId(process_);
        if (NT_SUCCESS(NtQuerySystemInformation(SystemProcessInformation, list.data(), size, &size)))
            for (size_t at = 0;;) {
                const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(list.data() + at);
                if (static_cast<DWORD>(reinterpret_cast<uintptr_t>(entry->UniqueProcessId)) == processId)
                    handles = entry->HandleCount;
                if (!entry->NextEntryOffset)
                    break;
                at += entry->NextEntryOffset;
            }
        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof(memory);
        GetProcessMemoryInfo(process_, &memory, sizeof(memory));
        return {{"handles", handles},
                {"private_bytes", memory.PagefileUsage},
                {"user_objects", GetGuiResources(process_, GR_USEROBJECTS)},
                {"gdi_objects", GetGuiResources(process_, GR_GDIOBJECTS)}};
    }

    // Runs one action of the command line; what went wrong, or "".
    std::string Run(const std::string& action, const std::vector<std::string>& values) const
    {
        if (action == "--select") {
            const Item found = First([&](const Item& item) { return item.label == values[0]; });
            if (!found.handle)
                return "no item \"" + values[0] + "\"";
            Select(found.handle);
        } else if (action == "--select-device") {
            // The first device (below a hub) whose label holds the text.
            const Item found = First([&](const Item& item) {
                return item.image == ImageDevice && item.depth >= 3 && item.label.find(values[0]) != std::string::npos;
            });
            if (!found.handle)
                return "no device item with that text";
            Print({{"selected", found.label}, {"panel", Panel(found.handle)}});
        } else if (action == "--advice-off") {
            if (!AdviceOff())
                return "other windows of the program stay open";
        } else if (action == "--about") {
            HWND box = OpenAbout();
            if (!box)
                return "no about box";
            Print({{"about", WindowJson(box)}});
        } else if (action == "--command") {
            SendMessageA(main_, WM_COMMAND, MAKEWPARAM(atoi(values[0].c_str()), 0), 0);
        } else if (action == "--move") {
            SetWindowPos(main_, nullptr, atoi(values[0].c_str()), atoi(values[1].c_str()), 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else if (action == "--windows") {
            Print(Windows());
        } else if (action == "--press-f5") {
            if (!PressF5(atoi(values[0].c_str())))
                return "the F5 presses were not all handled after 5 minutes";
        } else if (action == "--resources") {
            Print(Resources());
        } else {  // --exit
            if (HWND box = AboutBox())
                CloseAbout(box);
            PostMessageA(main_, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
            DWORD exitCode = STILL_ACTIVE;
            if (WaitForSingleObject(process_, 30000) == WAIT_OBJECT_0)
                GetExitCodeProcess(process_, &exitCode);
            if (exitCode == STILL_ACTIVE)
                return "the process did not end after 30 s";
            Print({{"exit", exitCode}});
        }
        return "";
    }

private:
    HWND main_;
    HANDLE process_;
    HWND tree_;
    bool target32_ = false;
};

// The command line of another process, from its parameters block.
std::wstring CommandLineOf(DWORD processId)
{
    std::wstring out;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process)
        return out;
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (NT_SUCCESS(NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr)) &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), nullptr) &&
        ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), nullptr)) {
        out.resize(parameters.CommandLine.Length / sizeof(wchar_t));
        if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, out.data(), parameters.CommandLine.Length,
                               nullptr))
            out.clear();
    }
    CloseHandle(process);
    return out;
}

// Starts EXE in DIR, watches it until it ends, then finds the main window
// that the hand-over shows.
int StartAndWatch(const std::wstring& dir, const std::wstring& exe, const std::vector<std::wstring>& arguments)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    for (const std::wstring& argument : arguments)
        commandLine += argument.empty() || argument.find(L' ') != std::wstring::npos ? L" \"" + argument + L"\""
                                                                                      : L" " + argument;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                        &started))
        return Fail("cannot start the program");
    CloseHandle(started.hThread);
    std::set<HWND> shown;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(started.hProcess, 5) == WAIT_TIMEOUT && GetTickCount() - start < 30000)
        for (HWND window : TopLevelWindows(started.dwProcessId, nullptr, true))
            shown.insert(window);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(started.hProcess, &exitCode);
    Json result = {{"x86_exit", exitCode == STILL_ACTIVE ? Json(nullptr) : Json(exitCode)},
                   {"x86_windows", shown.size()},
                   {"x64_command_line", nullptr}};
    if (exitCode == STILL_ACTIVE) {
        // It did not hand over: close what it shows.
        for (HWND window : TopLevelWindows(started.dwProcessId, kDialogClass, false))
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        WaitForSingleObject(started.hProcess, 30000);
    }
    if (exitCode != STILL_ACTIVE)
        if (HWND main = WaitForMainWindow())
            result["x64_command_line"] = Utf8(CommandLineOf(ProcessOf(main)));
    Print(result);
    CloseHandle(started.hProcess);
    return 0;
}

// The check mark of a menu command. Wine does not read another process's
// menus (GetMenuState gives -1); both options start unchecked.
bool MenuChecked(HWND main, UINT command)
{
    const UINT state = GetMenuState(GetMenu(main), command, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

int ReadMessageBox(const std::wstring& caption)
{
    HWND box = nullptr;
    if (!WaitUntil(60000, [&] { return (box = FindWindowW(L"#32770", caption.c_str())) && IsWindowVisible(box); })) {
        fprintf(stderr, "portolan-window-dump: no message box \"%s\"\n", Utf8(caption).c_str());
        return 1;
    }
    std::wstring text;
    for (HWND child = GetWindow(box, GW_CHILD); child && text.empty(); child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        wchar_t buffer[4096] = {};
        GetClassNameW(child, name, 32);
        if (_wcsicmp(name, L"Static") == 0 && SendMessageW(child, WM_GETTEXT, 4095, reinterpret_cast<LPARAM>(buffer)) > 0)
            text = buffer;
    }
    Print({{"caption", Utf8(caption)}, {"text", Utf8(text)}});
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

int Usage()
{
    fprintf(stderr, "usage: portolan-window-dump [--show-unused-ports] [--show-unused-controllers] [--keep-open] | "
                    "--wait | --close-by-caption | ACTION... (--select LABEL, --command ID, --move LEFT TOP, "
                    "--windows, --press-f5 N, --resources, --select-device TEXT, --advice-off, --about, --exit) | "
                    "--message-box CAPTION | --start DIR EXE [ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::wstring> wide = WideArguments();
    if (argc >= 4 && std::string(argv[1]) == "--start" && wide.size() == static_cast<size_t>(argc))
        return StartAndWatch(wide[2], wide[3], std::vector<std::wstring>(wide.begin() + 4, wide.end()));
    if (argc == 3 && std::string(argv[1]) == "--message-box" && wide.size() == 3)
        return ReadMessageBox(wide[2]);

    bool unusedPorts = false;
    bool unusedControllers = false;
    bool keepOpen = false;
    bool waitOnly = false;
    bool closeByCaption = false;
    // Actions with their argument, in the order given.
    std::vector<std::pair<std::string, std::vector<std::string>>> actions;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int left = argc - 1 - i;
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
        else if ((arg == "--select" || arg == "--select-device") && left >= 1 && static_cast<size_t>(i + 1) < wide.size())
            actions.push_back({arg, {Utf8(wide[++i])}});
        else if ((arg == "--command" || arg == "--press-f5") && left >= 1)
            actions.push_back({arg, {argv[++i]}});
        else if (arg == "--move" && left >= 2) {
            actions.push_back({arg, {argv[i + 1], argv[i + 2]}});
            i += 2;
        } else if (arg == "--windows" || arg == "--resources" || arg == "--exit" || arg == "--advice-off" ||
                   arg == "--about")
            actions.push_back({arg, {}});
        else
            return Usage();
    }
    HWND main = WaitForMainWindow();
    if (!main)
        return 1;
    if (waitOnly)
        return 0;
    if (closeByCaption) {
        PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    HANDLE process = OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE,
        ProcessOf(main));
    if (!process) {
        fprintf(stderr, "portolan-window-dump: cannot open the process (error %lu)\n", GetLastError());
        return 1;
    }
    Window window(main, process);
    int status = 0;
    for (const auto& [action, values] : actions) {
        const std::string error = window.Run(action, values);
        if (!error.empty()) {
            status = Fail(error.c_str());
            break;
        }
    }
    if (!actions.empty()) {
        CloseHandle(process);
        return status;
    }

    Json out = Json::object();
    if (!keepOpen) {
        out["windows"] = window.Windows();
        out["about"] = window.About();
    }
    // The menu commands toggle the options; each refreshes the tree before it returns.
    if (MenuChecked(main, IDM_UNUSED_PORTS) != unusedPorts)
        SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_UNUSED_PORTS, 0), 0);
    if (MenuChecked(main, IDM_UNUSED_CONTROLLERS) != unusedControllers)
        SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_UNUSED_CONTROLLERS, 0), 0);
    window.Tree(!keepOpen, out);
    Print(out);
    CloseHandle(process);
    if (!keepOpen)
        PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    return 0;
}
