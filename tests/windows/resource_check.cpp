// Loads the application's resources linked into this exe and checks what the
// code relies on: the controls of dialogs 101 and 102 (ID, class, style,
// text) and that every text fits its control in the dialog's own font; menu
// 103, accelerators 113, the tree images, the icon, the help file, the
// manifest and the version information. Prints PASS/FAIL lines and a
// summary; exit code 1 when a check failed.

#include <windows.h>

#include <commctrl.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resource_ids.h"
#include "version.h"
#include "tests/windows/check_lines.h"

namespace {

void Report(bool ok, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // Texts from the "A" functions are in the ANSI code page; print UTF-8.
    wchar_t wide[512] = {};
    char utf8[1536] = {};
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 512);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
    Check(ok, utf8);
}

// Expected texts are written in code page 1252; the "A" functions return the ANSI code page.
std::string AnsiFrom1252(const char* text)
{
    wchar_t wide[512] = {};
    char ansi[1024] = {};
    MultiByteToWideChar(1252, 0, text, -1, wide, 512);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

std::string WindowText(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool InGerman(int type, int id)
{
    return FindResourceExA(nullptr, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(id), ResourceLanguage) != nullptr;
}

// ---------------------------------------------------------------------------
// Dialogs

struct Control {
    int id;
    const char* className;
    const char* text;  // code page 1252; nullptr: not checked
    DWORD style;       // bits that must be set
};

struct Dialog {
    int id;
    const char* caption;
    std::vector<Control> controls;
    // Texts the program writes into edits, widest first: each must fit.
    std::vector<std::pair<int, const char*>> editTexts;
    // Lines of controls without an ID that must be there (code page 1252).
    std::vector<const char*> lines = {};
};

const DWORD kTransferBox = BS_AUTOCHECKBOX | WS_DISABLED;

const Dialog kDialogs[] = {
    {IDD_MAIN,
     " USB-Kompatibilit\xE4tscheck",
     {
         {IDC_DEVICE_TREE, "SysTreeView32", nullptr, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS},
         {IDC_STATUS_BAR, "msctls_statusbar32", nullptr, SBARS_SIZEGRIP},
         {IDC_PANEL_FRAME, "Static", "", SS_SUNKEN},
         {IDC_VENDOR_ID, "Edit", "", ES_READONLY},
         {IDC_VENDOR_NAME, "Edit", "", ES_READONLY | ES_AUTOHSCROLL},
         {IDC_PRODUCT_ID, "Edit", "", ES_READONLY},
         {IDC_PRODUCT_NAME, "Edit", "", ES_READONLY | ES_AUTOHSCROLL},
         {IDC_PNP_INSTANCE_ID, "Edit", "", ES_READONLY | ES_AUTOHSCROLL},
         {IDC_CONFIGURATION_COUNT, "Edit", "", ES_READONLY},
         {IDC_SERIAL_NUMBER, "Edit", "", ES_READONLY | ES_AUTOHSCROLL},
         {IDC_SPEED_NAME, "Edit", "", ES_READONLY},
         {IDC_SPEED_BAR, "msctls_progress32", nullptr, PBS_SMOOTH},
         {IDC_CONTROL_TRANSFERS, "Button", "", kTransferBox},
         {IDC_BULK_TRANSFERS, "Button", "", kTransferBox},
         {IDC_INTERRUPT_TRANSFERS, "Button", "", kTransferBox},
         {IDC_ISOCHRONOUS_TRANSFERS, "Button", "", kTransferBox},
     },
     {{IDC_VENDOR_ID, "ffff"},
      {IDC_PRODUCT_ID, "ffff"},
      {IDC_CONFIGURATION_COUNT, "255"},
      {IDC_SPEED_NAME, "Full Speed"},
      {IDC_SPEED_NAME, "High Speed"},
      {IDC_SPEED_NAME, "Low Speed"}}},
    {IDD_ABOUT,
     "Info \xFC" "ber Portolan",
     {
         {IDOK, "Button", "OK", BS_DEFPUSHBUTTON},
         {IDC_BIT_VERSION, "Static", "%dbit-Version", 0},
     },
     {},
     {"v" PORTOLAN_VERSION_TEXT " \xB7 \xA9 2026 Kestrel Systems GmbH"}},
};

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// Width and height TEXT takes in CHILD's font and what the control gives it.
// Statics wrap at word breaks, so a text that is too wide shows as a second
// line that the control's height cuts off.
bool TextFits(HWND child, const std::string& text, SIZE* needed, SIZE* room)
{
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    RECT client;
    GetClientRect(child, &client);
    room->cx = client.right;
    room->cy = client.bottom;
    HDC dc = GetDC(child);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    if (lstrcmpiA(cls, "Edit") == 0) {
        RECT format = {};
        SendMessageA(child, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        room->cx = format.right - format.left;
        room->cy = format.bottom - format.top;
    } else if (lstrcmpiA(cls, "Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX)
            room->cx -= GetSystemMetrics(SM_CXMENUCHECK) + metrics.tmAveCharWidth / 2;
        else if (type == BS_GROUPBOX)
            room->cx -= 2 * metrics.tmAveCharWidth;
        else
            room->cx -= 2 * GetSystemMetrics(SM_CXEDGE);
    }
    RECT drawn = {0, 0, room->cx, 0};
    const UINT wrap = lstrcmpiA(cls, "Static") == 0 ? DT_WORDBREAK : DT_SINGLELINE;
    DrawTextA(dc, text.c_str(), -1, &drawn, DT_CALCRECT | wrap | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(child, dc);
    needed->cx = drawn.right;
    needed->cy = drawn.bottom;
    return needed->cx <= room->cx && needed->cy <= room->cy;
}

void CheckDialog(const Dialog& want)
{
    Report(InGerman(5, want.id), "dialog %d: template in German", want.id);
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(want.id), nullptr, QuietDialogProc, 0);
    Report(dialog != nullptr, "dialog %d: CreateDialogParamA (error %lu)", want.id, dialog ? 0UL : GetLastError());
    if (!dialog)
        return;
    Report(WindowText(dialog) == AnsiFrom1252(want.caption), "dialog %d: caption \"%s\"", want.id,
           WindowText(dialog).c_str());
    for (const Control& c : want.controls) {
        HWND item = GetDlgItem(dialog, c.id);
        char cls[64] = {};
        if (item)
            GetClassNameA(item, cls, sizeof cls);
        const DWORD style = item ? static_cast<DWORD>(GetWindowLongA(item, GWL_STYLE)) : 0;
        const bool textOk = !c.text || WindowText(item) == AnsiFrom1252(c.text);
        Report(item && lstrcmpiA(cls, c.className) == 0 && (style & c.style) == c.style && textOk,
               "dialog %d: control %d is a %s, style 0x%08lX, text \"%s\"", want.id, c.id, item ? cls : "(missing)",
               style, item ? WindowText(item).c_str() : "");
    }

    // Every text of a label, check box, button or group, and the edits' texts.
    int measured = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = {};
        GetClassNameA(child, cls, sizeof cls);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        std::vector<std::string> texts;
        if (lstrcmpiA(cls, "Edit") == 0) {
            for (const auto& sample : want.editTexts)
                if (sample.first == GetDlgCtrlID(child))
                    texts.push_back(sample.second);
        } else if ((lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) != SS_BITMAP) ||
                   lstrcmpiA(cls, "Button") == 0) {
            texts.push_back(WindowText(child));
        }
        for (const std::string& text : texts) {
            if (text.empty())
                continue;
            SIZE needed, room;
            const bool fits = TextFits(child, text, &needed, &room);
            Report(fits, "dialog %d: \"%s\" in its %s takes %ld x %ld of %ld x %ld pixels", want.id, text.c_str(),
                   cls, needed.cx, needed.cy, room.cx, room.cy);
            ++measured;
        }
    }
    Report(measured > 0, "dialog %d: %d texts measured", want.id, measured);
    for (const char* line : want.lines) {
        bool shown = false;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            shown = shown || WindowText(child) == AnsiFrom1252(line);
        Report(shown, "dialog %d: a line \"%s\"", want.id, AnsiFrom1252(line).c_str());
    }
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------
// Menu, accelerators, pictures

// The menu as "pop-up: item (command), ..." lines, checked items marked '*'.
std::string MenuOutline(HMENU menu)
{
    std::string outline;
    char text[128];
    for (int p = 0; p < GetMenuItemCount(menu); ++p) {
        GetMenuStringA(menu, p, text, sizeof text, MF_BYPOSITION);
        outline += std::string(text) + ":";
        HMENU popup = GetSubMenu(menu, p);
        for (int i = 0; popup && i < GetMenuItemCount(popup); ++i) {
            const UINT id = GetMenuItemID(popup, i);
            if (id == 0 || id == static_cast<UINT>(-1))
                continue;  // separator
            GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
            const bool checked = GetMenuState(popup, i, MF_BYPOSITION) & MF_CHECKED;
            outline += " " + std::string(text) + " (" + std::to_string(id) + (checked ? "*" : "") + ")";
        }
        outline += "\n";
    }
    return outline;
}

void CheckMenu()
{
    Report(InGerman(4, IDR_MAIN_MENU), "menu %d: in German", IDR_MAIN_MENU);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_MENU));
    const std::string outline = menu ? MenuOutline(menu) : "";
    const std::string expected = AnsiFrom1252(
        "&Datei: A&ktualisieren\tF5 (40002) &Beenden (40001)\n"
        "&Ansicht: Unbenutzte &Controller (40010) Unbenutzte &Ports (40008)\n"
        "&Optionen: &Auto-Refresh (40003) Info-&Fenster (40013)\n"
        "&Hilfe: &Info (40005)\n");
    Report(outline == expected, "menu %d: pop-ups, items and commands, none checked, no item for %d:\n%s",
           IDR_MAIN_MENU, IDM_CYCLE_PORT, outline.c_str());
    if (menu)
        DestroyMenu(menu);

    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
    ACCEL entries[4] = {};
    const int count = table ? CopyAcceleratorTableA(table, entries, 4) : 0;
    Report(InGerman(9, IDR_ACCELERATORS) && count == 2 && entries[0].fVirt == (FVIRTKEY | FNOINVERT) &&
               entries[0].key == VK_F5 && entries[0].cmd == IDM_REFRESH &&
               entries[1].fVirt == (FVIRTKEY | FNOINVERT | FCONTROL) && entries[1].key == 'R' &&
               entries[1].cmd == IDM_CYCLE_PORT,
           "accelerators %d: F5 -> %d, Ctrl+R -> %d (%d entries)", IDR_ACCELERATORS, IDM_REFRESH, IDM_CYCLE_PORT,
           count);
    if (table)
        DestroyAcceleratorTable(table);
}

void CheckPictures()
{
    HIMAGELIST list = ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TREE_IMAGES),
                                           TreeImageSize, TreeImageGrowBy, TreeImageMaskColour, IMAGE_BITMAP, 0);
    int cx = 0, cy = 0;
    if (list)
        ImageList_GetIconSize(list, &cx, &cy);
    Report(list && ImageList_GetImageCount(list) == TreeImageCount && cx == TreeImageSize,
           "bitmap %d: image list of %d images of %d x %d", IDB_TREE_IMAGES, list ? ImageList_GetImageCount(list) : 0,
           cx, cy);
    if (list)
        ImageList_Destroy(list);
    Report(InGerman(2, IDB_ABOUT) && LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_ABOUT), IMAGE_BITMAP,
                                                0, 0, LR_CREATEDIBSECTION) != nullptr,
           "bitmap %d: loads", IDB_ABOUT);
    for (int size : {16, 32, 48}) {
        HICON icon = static_cast<HICON>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PORTOLAN), IMAGE_ICON, size, size, 0));
        ICONINFO info = {};
        BITMAP colour = {};
        if (icon && GetIconInfo(icon, &info) && info.hbmColor)
            GetObjectA(info.hbmColor, sizeof colour, &colour);
        Report(colour.bmWidth == size && colour.bmBitsPixel == 32, "icon %d: %d x %d, %d bits", IDI_PORTOLAN, size,
               size, colour.bmBitsPixel);
    }
}

// ---------------------------------------------------------------------------
// Help file, manifest, version

void CheckHelpFileAndManifest()
{
    HRSRC help = FindResourceExA(nullptr, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(IDR_HELP_FILE), ResourceLanguage);
    const BYTE* data = help ? static_cast<const BYTE*>(LockResource(LoadResource(nullptr, help))) : nullptr;
    DWORD language = 0;
    if (data && SizeofResource(nullptr, help) > 0x60)
        std::memcpy(&language, data + 0x14, 4);
    Report(data && std::memcmp(data, "ITSF", 4) == 0 && language == 0x0407,
           "RCDATA %d: a help file in German (ITSF, language 0x%04lX)", IDR_HELP_FILE, language);

    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const char* manifest = found ? static_cast<const char*>(LockResource(LoadResource(nullptr, found))) : "";
    const std::string text(manifest, found ? SizeofResource(nullptr, found) : 0);
    for (const char* needle : {"level=\"asInvoker\"", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               ">PerMonitorV2, system</dpiAwareness>", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        Report(text.find(needle) != std::string::npos, "manifest: %s", needle);
    // The loader acted on it: the common controls come from the side-by-side assembly.
    char path[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, sizeof path);
    CharLowerA(path);
    Report(std::strstr(path, "microsoft.windows.common-controls_6595b64144ccf1df_6.") != nullptr,
           "manifest: common controls from %s", path);
}

void CheckVersion()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    DWORD handle = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeA(path, &handle));
    const bool got = !block.empty() && GetFileVersionInfoA(path, 0, block.size(), block.data());
    VS_FIXEDFILEINFO* fixed = nullptr;
    char* description = nullptr;
    UINT length = 0;
    Report(got && InGerman(16, 1) && VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) &&
               fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0 && fixed->dwFileType == VFT_APP &&
               VerQueryValueA(block.data(), "\\StringFileInfo\\040704E4\\FileDescription",
                              reinterpret_cast<void**>(&description), &length) &&
               description == AnsiFrom1252("Portolan USB-Kompatibilit\xE4tscheck"),
           "version: 1.0.0.0, an application, in German, described as the product");
}

}  // namespace

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    Report(InitCommonControlsEx(&controls) != FALSE, "InitCommonControlsEx");
    for (const Dialog& dialog : kDialogs)
        CheckDialog(dialog);
    CheckMenu();
    CheckPictures();
    CheckHelpFileAndManifest();
    CheckVersion();
    return CheckSummary("resource check");
}
