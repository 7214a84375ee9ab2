// Looks at a running Portolan.exe from outside: waits for its main window,
// reads the tree and the status bar across the process boundary, checks the
// help file in the temporary folder, then closes the window.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

int Failures = 0;

void Check(bool ok, const std::string& name)
{
    printf("%s %s\n", ok ? "PASS" : "FAIL", name.c_str());
    Failures += ok ? 0 : 1;
}

// Sends a message whose lParam points at a record in the other process.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, SIZE_T size) : process_(process), size_(size)
    {
        remote_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer()
    {
        if (remote_)
            VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    }
    char* At(SIZE_T offset) const { return static_cast<char*>(remote_) + offset; }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        return remote_ && WriteProcessMemory(process_, At(offset), data, size, nullptr);
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const
    {
        return remote_ && ReadProcessMemory(process_, At(offset), data, size, nullptr);
    }
    bool Valid() const { return remote_ != nullptr && size_ > 0; }

private:
    HANDLE process_;
    SIZE_T size_;
    void* remote_;
};

std::string ItemText(HANDLE process, HWND tree, HTREEITEM item)
{
    RemoteBuffer buffer(process, 4096);
    TVITEMA data = {};
    data.mask = TVIF_TEXT | TVIF_IMAGE;
    data.hItem = item;
    data.pszText = buffer.At(1024);
    data.cchTextMax = 1024;
    if (!buffer.Write(0, &data, sizeof(data)))
        return "(no remote memory)";
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(buffer.At(0)));
    char text[1024] = {};
    buffer.Read(1024, text, sizeof(text) - 1);
    buffer.Read(0, &data, sizeof(data));
    return std::string(text) + " [" + std::to_string(data.iImage) + "]";
}

std::string StatusText(HANDLE process, HWND status)
{
    RemoteBuffer buffer(process, 1024);
    SendMessageA(status, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(buffer.At(0)));
    char text[1024] = {};
    buffer.Read(0, text, sizeof(text) - 1);
    return text;
}

}  // namespace

int main()
{
    const char caption[] = " USB-Kompatibilit\xE4tscheck";
    HWND main = nullptr;
    for (int i = 0; i < 300 && !main; ++i) {
        main = FindWindowA(nullptr, caption);
        if (!main)
            Sleep(100);
    }
    Check(main != nullptr, "main window with its caption appears");
    if (!main)
        return 1;
    Sleep(500);

    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    HWND tree = GetDlgItem(main, 1000);
    HWND status = GetDlgItem(main, 1002);
    const LRESULT count = SendMessageA(tree, TVM_GETCOUNT, 0, 0);
    Check(count == 1, "the tree holds one item (" + std::to_string(count) + ")");
    HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    const std::string rootText = process ? ItemText(process, tree, root) : "(no process)";
    Check(rootText == "My Computer [0]", "root item '" + rootText + "'");
    const std::string statusText = process ? StatusText(process, status) : "(no process)";
    Check(statusText == "Connected Hubs: 0   Other Devices: 0", "status '" + statusText + "'");
    Check(IsWindowVisible(main) != FALSE, "window is visible");

    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string help = std::string(folder) + "Portolan.chm";
    const DWORD attributes = GetFileAttributesA(help.c_str());
    Check(attributes != INVALID_FILE_ATTRIBUTES, "help file written to " + help);

    if (process)
        CloseHandle(process);
    PostMessageA(main, WM_CLOSE, 0, 0);
    return Failures ? 1 : 0;
}
