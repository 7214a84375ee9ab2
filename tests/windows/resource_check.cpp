// Loads the application's resources linked into this exe and checks them:
// dialog templates 101 and 102 (raw template and created dialog), menu 103,
// accelerators 113, bitmaps 112 and 118, icon group 105, the help file 115,
// the manifest and the version information. Prints PASS/FAIL lines and a
// summary; exit code 1 when a check failed.

#include <windows.h>

#include <commctrl.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resource_ids.h"

namespace {

int Passed = 0;
int Failed = 0;

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
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", utf8);
    std::fflush(stdout);
    (ok ? Passed : Failed)++;
}

const WORD GermanLanguage = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

// Expected texts are written in code page 1252.
std::wstring WideFrom1252(const char* text)
{
    int length = MultiByteToWideChar(1252, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1)
        MultiByteToWideChar(1252, 0, text, -1, wide.data(), length);
    return wide;
}

// The same text in the ANSI code page, as the "A" functions return it.
std::string AnsiFrom1252(const char* text)
{
    std::wstring wide = WideFrom1252(text);
    int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(length > 0 ? length - 1 : 0, '\0');
    if (length > 1)
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), length, nullptr, nullptr);
    return ansi;
}

std::string Narrow(const std::wstring& wide)
{
    int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(length > 0 ? length - 1 : 0, '\0');
    if (length > 1)
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), length, nullptr, nullptr);
    return ansi;
}

struct ResourceBytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

ResourceBytes LoadRaw(LPCSTR type, int id, WORD language)
{
    ResourceBytes bytes;
    HRSRC found = FindResourceExA(nullptr, type, MAKEINTRESOURCEA(id), language);
    if (!found)
        return bytes;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded)
        return bytes;
    bytes.data = static_cast<const BYTE*>(LockResource(loaded));
    bytes.size = SizeofResource(nullptr, found);
    return bytes;
}

// ---------------------------------------------------------------------------
// Dialog templates

struct ExpectedControl {
    int id;
    const char* className;   // registered class name
    const char* text;        // code page 1252; nullptr: an ordinal (resource ID)
    int textOrdinal;
    DWORD style;             // besides WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    short x, y, cx, cy;
};

struct ExpectedDialog {
    int id;
    DWORD style;
    short x, y, cx, cy;
    int menu;
    const char* caption;
    std::vector<ExpectedControl> controls;
};

const DWORD ReadOnlyEdit = WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL;
const DWORD TransferBox = BS_AUTOCHECKBOX | WS_DISABLED | WS_TABSTOP;

const ExpectedDialog MainDialog = {
    IDD_MAIN,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_SETFONT | DS_FIXEDSYS,
    40, 40, 300, 214,
    IDR_MAIN_MENU,
    " USB-Kompatibilit\xE4tscheck",
    {
        {IDC_DEVICE_TREE, "SysTreeView32", "Tree1", 0,
         WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
         WS_EX_CLIENTEDGE, 0, 135, 299, 69},
        {IDC_STATUS_BAR, "msctls_statusbar32", "Devices Connected: 0", 0, SBARS_SIZEGRIP, 0, 0, 206, 299, 8},
        {IDC_PANEL_FRAME, "Static", "", 0, SS_SUNKEN | WS_GROUP, 0, 292, 0, 8, 133},
        {-1, "Button", "USB-Ger\xE4teeigenschaften", 0, BS_GROUPBOX, 0, 7, 7, 275, 117},
        {-1, "Static", "Hersteller", 0, WS_GROUP, 0, 17, 21, 32, 8},
        {IDC_VENDOR_ID, "Edit", "", 0, ReadOnlyEdit, 0, 74, 19, 45, 14},
        {IDC_VENDOR_NAME, "Edit", "", 0, ReadOnlyEdit, 0, 127, 19, 144, 14},
        {-1, "Static", "Produkt", 0, WS_GROUP, 0, 17, 38, 26, 8},
        {IDC_PRODUCT_ID, "Edit", "", 0, ReadOnlyEdit, 0, 74, 36, 45, 14},
        {IDC_PRODUCT_NAME, "Edit", "", 0, ReadOnlyEdit, 0, 127, 36, 144, 14},
        {-1, "Static", "PnP-Instanz", 0, WS_GROUP, 0, 17, 55, 52, 8},
        {IDC_PNP_INSTANCE_ID, "Edit", "", 0, ReadOnlyEdit, 0, 74, 53, 197, 14},
        {-1, "Static", "Konfigurationen", 0, WS_GROUP, 0, 17, 72, 52, 8},
        {IDC_CONFIGURATION_COUNT, "Edit", "", 0, ReadOnlyEdit, 0, 74, 70, 45, 14},
        {-1, "Static", "Seriennr.", 0, WS_GROUP, 0, 127, 72, 30, 8},
        {IDC_SERIAL_NUMBER, "Edit", "", 0, ReadOnlyEdit, 0, 167, 70, 104, 14},
        {-1, "Static", "Datenrate", 0, WS_GROUP, 0, 17, 89, 34, 8},
        {IDC_SPEED_NAME, "Edit", "", 0, ReadOnlyEdit, 0, 74, 87, 50, 14},
        {IDC_SPEED_BAR, "msctls_progress32", "", 0, WS_BORDER | PBS_SMOOTH, 0, 127, 89, 144, 10},
        {-1, "Static", "Transfertypen", 0, WS_GROUP, 0, 17, 106, 47, 8},
        {IDC_CONTROL_TRANSFERS, "Button", "", 0, TransferBox, 0, 74, 106, 12, 10},
        {-1, "Static", "CTRL", 0, WS_GROUP, 0, 86, 107, 18, 8},
        {IDC_BULK_TRANSFERS, "Button", "", 0, TransferBox, 0, 114, 106, 12, 10},
        {-1, "Static", "BULK", 0, WS_GROUP, 0, 126, 107, 17, 8},
        {IDC_INTERRUPT_TRANSFERS, "Button", "", 0, TransferBox, 0, 154, 106, 12, 10},
        {-1, "Static", "INTR", 0, WS_GROUP, 0, 166, 107, 17, 8},
        {IDC_ISOCHRONOUS_TRANSFERS, "Button", "", 0, TransferBox, 0, 194, 106, 12, 10},
        {-1, "Static", "ISOC", 0, WS_GROUP, 0, 206, 107, 18, 8},
    },
};

const ExpectedDialog AboutDialog = {
    IDD_ABOUT,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
    40, 20, 250, 70,
    0,
    "Info \xFC" "ber Portolan",
    {
        {IDOK, "Button", "OK", 0, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 193, 49, 50, 14},
        {-1, "Static", "\xDC" "berpr\xFC" "ft die Kompatibilit\xE4t zwischen USB-Ger\xE4ten und Kestrel-Produkten", 0,
         WS_GROUP, 0, 90, 7, 146, 24},
        {-1, "Static", "\xA9 2026 Kestrel Systems GmbH", 0, WS_GROUP, 0, 90, 31, 146, 8},
        {-1, "Static", nullptr, IDB_ABOUT, SS_BITMAP, 0, 7, 7, 69, 57},
        {IDC_BIT_VERSION, "Static", "%dbit-Version", 0, WS_GROUP, 0, 90, 47, 71, 8},
    },
};

// A reader of the extended dialog template (DLGTEMPLATEEX).
class TemplateReader {
public:
    TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}

    bool Ok() const { return ok_; }
    size_t Offset() const { return offset_; }

    WORD Word()
    {
        WORD value = 0;
        Read(&value, sizeof value);
        return value;
    }
    DWORD Dword()
    {
        DWORD value = 0;
        Read(&value, sizeof value);
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte()
    {
        BYTE value = 0;
        Read(&value, 1);
        return value;
    }
    std::wstring String()
    {
        std::wstring text;
        for (WORD c = Word(); ok_ && c != 0; c = Word())
            text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    // sz_Or_Ord: empty, an ordinal (0xFFFF then the value) or a string.
    void NameOrOrdinal(std::wstring& text, int& ordinal)
    {
        text.clear();
        ordinal = -1;
        WORD first = Word();
        if (first == 0xFFFF) {
            ordinal = Word();
        } else if (first != 0) {
            text.push_back(static_cast<wchar_t>(first));
            text += String();
        }
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t count)
    {
        if (offset_ + count > size_)
            ok_ = false;
        else
            offset_ += count;
    }

private:
    void Read(void* out, size_t count)
    {
        if (offset_ + count > size_) {
            ok_ = false;
            return;
        }
        std::memcpy(out, data_ + offset_, count);
        offset_ += count;
    }

    const BYTE* data_;
    DWORD size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

std::string ClassFromOrdinal(int ordinal)
{
    switch (ordinal) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    default: return "#" + std::to_string(ordinal);
    }
}

void CheckTemplate(const ExpectedDialog& want)
{
    ResourceBytes raw = LoadRaw(MAKEINTRESOURCEA(5), want.id, GermanLanguage);
    Report(raw.data != nullptr, "dialog %d: template in German (0x0407)", want.id);
    if (!raw.data)
        return;
    TemplateReader reader(raw.data, raw.size);
    WORD version = reader.Word();
    WORD signature = reader.Word();
    Report(version == 1 && signature == 0xFFFF, "dialog %d: extended template", want.id);
    if (version != 1 || signature != 0xFFFF)
        return;
    reader.Dword();                     // help ID
    DWORD exStyle = reader.Dword();
    DWORD style = reader.Dword();
    WORD count = reader.Word();
    short x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
    Report(style == want.style && exStyle == 0, "dialog %d: style 0x%08lX (expected 0x%08lX), ex-style 0x%lX",
           want.id, style, want.style, exStyle);
    Report(x == want.x && y == want.y && cx == want.cx && cy == want.cy,
           "dialog %d: position %d, %d size %d x %d", want.id, x, y, cx, cy);
    std::wstring menuName, className;
    int menuOrdinal = -1, classOrdinal = -1;
    reader.NameOrOrdinal(menuName, menuOrdinal);
    reader.NameOrOrdinal(className, classOrdinal);
    if (want.menu)
        Report(menuOrdinal == want.menu, "dialog %d: menu %d", want.id, menuOrdinal);
    else
        Report(menuOrdinal == -1 && menuName.empty(), "dialog %d: no menu", want.id);
    Report(classOrdinal == -1 && className.empty(), "dialog %d: default dialog class", want.id);
    std::wstring caption = reader.String();
    Report(caption == WideFrom1252(want.caption), "dialog %d: caption \"%s\"", want.id, Narrow(caption).c_str());
    WORD points = reader.Word();
    WORD weight = reader.Word();
    reader.Byte();                      // italic
    BYTE charset = reader.Byte();
    std::wstring face = reader.String();
    Report(points == 8 && face == L"MS Shell Dlg", "dialog %d: font \"%s\" %d points (weight %d, charset %d)",
           want.id, Narrow(face).c_str(), points, weight, charset);
    Report(count == want.controls.size(), "dialog %d: %d controls (expected %zu)", want.id, count,
           want.controls.size());

    for (size_t i = 0; i < count && i < want.controls.size() && reader.Ok(); ++i) {
        const ExpectedControl& c = want.controls[i];
        reader.AlignDword();
        reader.Dword();                 // help ID
        DWORD itemExStyle = reader.Dword();
        DWORD itemStyle = reader.Dword();
        short ix = reader.Short(), iy = reader.Short(), icx = reader.Short(), icy = reader.Short();
        int id = static_cast<int>(reader.Dword());
        std::wstring itemClass, itemText;
        int itemClassOrdinal = -1, itemTextOrdinal = -1;
        reader.NameOrOrdinal(itemClass, itemClassOrdinal);
        reader.NameOrOrdinal(itemText, itemTextOrdinal);
        WORD extra = reader.Word();
        reader.Skip(extra);

        std::string cls = itemClassOrdinal >= 0 ? ClassFromOrdinal(itemClassOrdinal) : Narrow(itemClass);
        DWORD expectedStyle = WS_CHILD | WS_VISIBLE | c.style;
        bool textOk = c.text ? (itemTextOrdinal == -1 && itemText == WideFrom1252(c.text))
                             : (itemTextOrdinal == c.textOrdinal);
        bool ok = id == c.id && lstrcmpiA(cls.c_str(), c.className) == 0 && itemStyle == expectedStyle &&
                  itemExStyle == c.exStyle && ix == c.x && iy == c.y && icx == c.cx && icy == c.cy && textOk;
        Report(ok, "dialog %d item %zu: id %d class %s style 0x%08lX ex 0x%lX at %d,%d %dx%d text \"%s\"",
               want.id, i, id, cls.c_str(), itemStyle, itemExStyle, ix, iy, icx, icy,
               itemTextOrdinal >= 0 ? ("#" + std::to_string(itemTextOrdinal)).c_str()
                                    : Narrow(itemText).c_str());
        if (!ok)
            std::printf("     expected id %d class %s style 0x%08lX ex 0x%lX at %d,%d %dx%d\n", c.id, c.className,
                        expectedStyle, c.exStyle, c.x, c.y, c.cx, c.cy);
    }
    Report(reader.Ok(), "dialog %d: template read within its %lu bytes", want.id, raw.size);
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

std::string WindowText(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

void CheckCreatedDialog(const ExpectedDialog& want)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(want.id), nullptr,
                                     QuietDialogProc, 0);
    Report(dialog != nullptr, "dialog %d: CreateDialogParamA (error %lu)", want.id,
           dialog ? 0UL : GetLastError());
    if (!dialog)
        return;
    std::string caption = WindowText(dialog);
    Report(caption == AnsiFrom1252(want.caption), "dialog %d: GetWindowTextA \"%s\"", want.id, caption.c_str());
    Report(!IsWindowVisible(dialog), "dialog %d: created hidden", want.id);
    if (want.menu) {
        HMENU menu = GetMenu(dialog);
        Report(menu != nullptr && GetMenuItemCount(menu) == 4, "dialog %d: has the menu with 4 pop-ups", want.id);
    }

    // Every control, in template order.
    size_t index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT), ++index) {
        if (index >= want.controls.size()) {
            Report(false, "dialog %d: unexpected child window %zu", want.id, index);
            continue;
        }
        const ExpectedControl& c = want.controls[index];
        int id = GetDlgCtrlID(child);
        bool idOk = c.id == -1 ? (id & 0xFFFF) == 0xFFFF : id == c.id;
        char cls[64] = {};
        GetClassNameA(child, cls, sizeof cls);
        std::string text = WindowText(child);
        bool textOk = c.text ? text == AnsiFrom1252(c.text) : true;
        Report(idOk && std::strcmp(cls, c.className) == 0 && textOk,
               "dialog %d child %zu: id %d, GetClassNameA \"%s\", text \"%s\"", want.id, index, id, cls,
               c.text ? text.c_str() : "(bitmap)");

        // Place in dialog units; the status bar docks itself and the
        // picture takes its bitmap's size.
        if (std::strcmp(c.className, "msctls_statusbar32") != 0 && c.text) {
            // The dialog manager converts position and size each on its own.
            RECT units = {c.x, c.y, c.cx, c.cy};
            MapDialogRect(dialog, &units);
            RECT actual;
            GetWindowRect(child, &actual);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
            bool placed = actual.left == units.left && actual.top == units.top &&
                          actual.right - actual.left == units.right && actual.bottom - actual.top == units.bottom;
            Report(placed, "dialog %d child %zu: at %ld,%ld size %ld x %ld pixels (expected %ld,%ld %ld x %ld)",
                   want.id, index, actual.left, actual.top, actual.right - actual.left, actual.bottom - actual.top,
                   units.left, units.top, units.right, units.bottom);
        }
        if (!c.text) {
            HANDLE image = reinterpret_cast<HANDLE>(SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
            Report(image != nullptr, "dialog %d child %zu: shows bitmap %d", want.id, index, c.textOrdinal);
        }
    }
    Report(index == want.controls.size(), "dialog %d: %zu child windows (expected %zu)", want.id, index,
           want.controls.size());

    // Lookup by ID.
    for (const ExpectedControl& c : want.controls) {
        if (c.id == -1)
            continue;
        HWND item = GetDlgItem(dialog, c.id);
        char cls[64] = {};
        if (item)
            GetClassNameA(item, cls, sizeof cls);
        Report(item != nullptr && std::strcmp(cls, c.className) == 0, "dialog %d: GetDlgItem(%d) is a %s",
               want.id, c.id, item ? cls : "(missing)");
    }
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------
// Menu and accelerators

struct MenuItemSpec {
    const char* text;     // nullptr: separator
    int command;
};

struct PopupSpec {
    const char* text;
    std::vector<MenuItemSpec> items;
};

const std::vector<PopupSpec> MainMenu = {
    {"&Datei", {{"A&ktualisieren\tF5", IDM_REFRESH}, {nullptr, 0}, {"&Beenden", IDM_EXIT}}},
    {"&Ansicht", {{"Unbenutzte &Controller", IDM_UNUSED_CONTROLLERS}, {"Unbenutzte &Ports", IDM_UNUSED_PORTS}}},
    {"&Optionen", {{"&Auto-Refresh", IDM_AUTO_REFRESH}, {"Info-&Fenster", IDM_ADVICE_WINDOW}}},
    {"&Hilfe", {{"&Info", IDM_ABOUT}}},
};

std::string MenuText(HMENU menu, UINT item, UINT flags)
{
    char text[128] = {};
    GetMenuStringA(menu, item, text, sizeof text, flags);
    return text;
}

void CheckMenu()
{
    Report(FindResourceExA(nullptr, MAKEINTRESOURCEA(4), MAKEINTRESOURCEA(IDR_MAIN_MENU), GermanLanguage) != nullptr,
           "menu %d: in German", IDR_MAIN_MENU);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_MENU));
    Report(menu != nullptr, "menu %d: LoadMenuA", IDR_MAIN_MENU);
    if (!menu)
        return;
    Report(GetMenuItemCount(menu) == static_cast<int>(MainMenu.size()), "menu %d: %d pop-ups", IDR_MAIN_MENU,
           GetMenuItemCount(menu));
    for (size_t p = 0; p < MainMenu.size(); ++p) {
        const PopupSpec& popup = MainMenu[p];
        std::string text = MenuText(menu, p, MF_BYPOSITION);
        HMENU sub = GetSubMenu(menu, p);
        Report(text == popup.text && sub != nullptr, "menu %d: pop-up %zu \"%s\"", IDR_MAIN_MENU, p, text.c_str());
        if (!sub)
            continue;
        Report(GetMenuItemCount(sub) == static_cast<int>(popup.items.size()), "menu \"%s\": %d items", popup.text,
               GetMenuItemCount(sub));
        for (size_t i = 0; i < popup.items.size(); ++i) {
            const MenuItemSpec& item = popup.items[i];
            MENUITEMINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;
            BOOL got = GetMenuItemInfoA(sub, i, TRUE, &info);
            if (!item.text) {
                Report(got && (info.fType & MFT_SEPARATOR), "menu \"%s\": item %zu is a separator", popup.text, i);
                continue;
            }
            std::string itemText = MenuText(sub, i, MF_BYPOSITION);
            Report(got && static_cast<int>(info.wID) == item.command && itemText == item.text &&
                       !(info.fState & MFS_CHECKED),
                   "menu \"%s\": item %zu \"%s\" command %u, not checked", popup.text, i, itemText.c_str(), info.wID);
        }
    }
    // By command, as the application addresses the items.
    for (const PopupSpec& popup : MainMenu) {
        for (const MenuItemSpec& item : popup.items) {
            if (!item.text)
                continue;
            std::string text = MenuText(menu, item.command, MF_BYCOMMAND);
            UINT state = GetMenuState(menu, item.command, MF_BYCOMMAND);
            Report(text == item.text && state != static_cast<UINT>(-1) && !(state & MF_CHECKED),
                   "menu %d: command %d is \"%s\"", IDR_MAIN_MENU, item.command, text.c_str());
        }
    }
    Report(GetMenuState(menu, IDM_CYCLE_PORT, MF_BYCOMMAND) == static_cast<UINT>(-1),
           "menu %d: command %d has no item", IDR_MAIN_MENU, IDM_CYCLE_PORT);
    DestroyMenu(menu);
}

void CheckAccelerators()
{
    Report(FindResourceExA(nullptr, MAKEINTRESOURCEA(9), MAKEINTRESOURCEA(IDR_ACCELERATORS), GermanLanguage) !=
               nullptr,
           "accelerators %d: in German", IDR_ACCELERATORS);
    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
    Report(table != nullptr, "accelerators %d: LoadAcceleratorsA", IDR_ACCELERATORS);
    if (!table)
        return;
    int count = CopyAcceleratorTableA(table, nullptr, 0);
    Report(count == 2, "accelerators %d: %d entries", IDR_ACCELERATORS, count);
    ACCEL entries[4] = {};
    int copied = CopyAcceleratorTableA(table, entries, count < 4 ? count : 4);
    struct {
        BYTE flags;
        WORD key;
        WORD command;
        const char* name;
    } const expected[2] = {
        {FVIRTKEY | FNOINVERT, VK_F5, IDM_REFRESH, "F5"},
        {FVIRTKEY | FNOINVERT | FCONTROL, 'R', IDM_CYCLE_PORT, "Ctrl+R"},
    };
    for (int i = 0; i < 2; ++i) {
        bool ok = i < copied && (entries[i].fVirt & 0x7F) == expected[i].flags && entries[i].key == expected[i].key &&
                  entries[i].cmd == expected[i].command;
        Report(ok, "accelerators %d: %s -> %d (flags 0x%02X, key 0x%02X, command %d)", IDR_ACCELERATORS,
               expected[i].name, expected[i].command, entries[i].fVirt, entries[i].key, entries[i].cmd);
    }
    DestroyAcceleratorTable(table);
}

// ---------------------------------------------------------------------------
// Pictures

void CheckBitmap(int id, int width, int height, int bits)
{
    Report(FindResourceExA(nullptr, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(id), GermanLanguage) != nullptr,
           "bitmap %d: in German", id);
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    Report(bitmap != nullptr, "bitmap %d: LoadImageA", id);
    if (!bitmap)
        return;
    DIBSECTION section = {};
    int got = GetObjectA(bitmap, sizeof section, &section);
    Report(got == sizeof section && section.dsBm.bmWidth == width && section.dsBm.bmHeight == height &&
               section.dsBm.bmBitsPixel == bits,
           "bitmap %d: %ld x %ld, %d bits per pixel", id, section.dsBm.bmWidth, section.dsBm.bmHeight,
           section.dsBm.bmBitsPixel);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RGBQUAD colours[256] = {};
    UINT entries = GetDIBColorTable(memory, 0, 256, colours);
    Report(entries == (1u << bits), "bitmap %d: palette of %u colours", id, entries);
    if (id == IDB_TREE_IMAGES) {
        bool green = false;
        for (UINT i = 0; i < entries; ++i)
            green = green || (colours[i].rgbRed == 0 && colours[i].rgbGreen == 255 && colours[i].rgbBlue == 0);
        Report(green, "bitmap %d: palette holds the mask colour RGB(0, 255, 0)", id);
        for (int image = 0; image < TreeImageCount; ++image) {
            int x = image * TreeImageSize;
            bool corners = GetPixel(memory, x, 0) == RGB(0, 255, 0) ||
                           GetPixel(memory, x + TreeImageSize - 1, TreeImageSize - 1) == RGB(0, 255, 0);
            int masked = 0;
            for (int py = 0; py < TreeImageSize; ++py)
                for (int px = 0; px < TreeImageSize; ++px)
                    masked += GetPixel(memory, x + px, py) == RGB(0, 255, 0);
            Report(corners && masked > 16 && masked < TreeImageSize * TreeImageSize - 16,
                   "bitmap %d: image %d has a picture on the mask colour (%d of 256 pixels masked)", id, image,
                   masked);
        }
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
}

void CheckImageList()
{
    HIMAGELIST list = ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TREE_IMAGES),
                                           TreeImageSize, TreeImageGrowBy, TreeImageMaskColour, IMAGE_BITMAP, 0);
    int count = list ? ImageList_GetImageCount(list) : 0;
    int cx = 0, cy = 0;
    if (list)
        ImageList_GetIconSize(list, &cx, &cy);
    Report(list != nullptr && count == TreeImageCount && cx == 16 && cy == 16,
           "bitmap %d: image list of %d images of %d x %d", IDB_TREE_IMAGES, count, cx, cy);
    if (list)
        ImageList_Destroy(list);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

void CheckIcon()
{
    ResourceBytes group = LoadRaw(MAKEINTRESOURCEA(14), IDI_PORTOLAN, GermanLanguage);
    Report(group.data != nullptr && group.size >= 6, "icon %d: group in German", IDI_PORTOLAN);
    if (!group.data || group.size < 6)
        return;
    WORD count = 0;
    std::memcpy(&count, group.data + 4, sizeof count);
    Report(count == 3 && group.size >= 6 + count * sizeof(GroupIconEntry), "icon %d: %d images in the group",
           IDI_PORTOLAN, count);
    std::vector<GroupIconEntry> entries(count);
    if (group.size >= 6 + count * sizeof(GroupIconEntry))
        std::memcpy(entries.data(), group.data + 6, count * sizeof(GroupIconEntry));

    for (int size : {16, 32, 48}) {
        bool listed = false;
        for (const GroupIconEntry& entry : entries)
            listed = listed || (entry.width == size && entry.height == size && entry.bitCount == 32);
        int chosen = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data), TRUE, size, size, LR_DEFAULTCOLOR);
        ResourceBytes image = LoadRaw(MAKEINTRESOURCEA(3), chosen, GermanLanguage);
        BITMAPINFOHEADER header = {};
        if (image.data && image.size >= sizeof header)
            std::memcpy(&header, image.data, sizeof header);
        Report(listed && header.biWidth == size && header.biHeight == 2 * size && header.biBitCount == 32,
               "icon %d: %d x %d image, 32 bits with alpha (icon resource %d)", IDI_PORTOLAN, size, size, chosen);

        HICON icon = static_cast<HICON>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PORTOLAN), IMAGE_ICON, size, size, 0));
        ICONINFO info = {};
        BITMAP colour = {};
        if (icon && GetIconInfo(icon, &info)) {
            if (info.hbmColor)
                GetObjectA(info.hbmColor, sizeof colour, &colour);
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
            if (info.hbmMask)
                DeleteObject(info.hbmMask);
        }
        Report(icon != nullptr && colour.bmWidth == size && colour.bmHeight == size,
               "icon %d: LoadImageA at %d pixels gives %ld x %ld", IDI_PORTOLAN, size, colour.bmWidth,
               colour.bmHeight);
        if (icon)
            DestroyIcon(icon);
    }
    HICON shared = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PORTOLAN));
    Report(shared != nullptr, "icon %d: LoadIconA", IDI_PORTOLAN);
}

// ---------------------------------------------------------------------------
// Help file, manifest, version

void CheckHelpFile()
{
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_HELP_FILE), MAKEINTRESOURCEA(10));
    Report(found != nullptr, "RCDATA %d: FindResourceA", IDR_HELP_FILE);
    ResourceBytes help = LoadRaw(MAKEINTRESOURCEA(10), IDR_HELP_FILE, GermanLanguage);
    Report(help.data != nullptr, "RCDATA %d: in German (0x0407)", IDR_HELP_FILE);
    DWORD size = found ? SizeofResource(nullptr, found) : 0;
    Report(size > 0x60 && help.size == size, "RCDATA %d: %lu bytes", IDR_HELP_FILE, size);
    if (!help.data || help.size < 0x60)
        return;
    DWORD version = 0, headerSize = 0, language = 0;
    std::memcpy(&version, help.data + 4, 4);
    std::memcpy(&headerSize, help.data + 8, 4);
    std::memcpy(&language, help.data + 0x14, 4);
    Report(std::memcmp(help.data, "ITSF", 4) == 0 && version == 3 && headerSize == 0x60,
           "RCDATA %d: starts with an ITSF header, version %lu", IDR_HELP_FILE, version);
    Report(language == 0x0407, "RCDATA %d: help file language 0x%04lX", IDR_HELP_FILE, language);
}

void CheckManifest()
{
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    Report(found != nullptr, "manifest: RT_MANIFEST resource 1");
    if (!found)
        return;
    const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    std::string text(data ? data : "", data ? SizeofResource(nullptr, found) : 0);
    const char* const needles[] = {
        "level=\"asInvoker\"",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
        ">true</dpiAware>",
        ">PerMonitorV2, system</dpiAwareness>",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
    };
    for (const char* needle : needles)
        Report(text.find(needle) != std::string::npos, "manifest: %s", needle);

    // The loader acted on it: the common controls come from the side-by-side
    // assembly (Wine's reports version 5.81 there too).
    HMODULE comctl = GetModuleHandleA("comctl32.dll");
    char path[MAX_PATH] = {};
    if (comctl)
        GetModuleFileNameA(comctl, path, sizeof path);
    CharLowerA(path);
    DLLVERSIONINFO version = {};
    version.cbSize = sizeof version;
    FARPROC proc = comctl ? GetProcAddress(comctl, "DllGetVersion") : nullptr;
    if (proc)
        reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(proc))(&version);
    bool assembly = std::strstr(path, "\\winsxs\\") != nullptr &&
                    std::strstr(path, "microsoft.windows.common-controls_6595b64144ccf1df_6.") != nullptr;
    Report(assembly || version.dwMajorVersion >= 6, "manifest: common controls %lu.%lu from %s",
           version.dwMajorVersion, version.dwMinorVersion, path);
}

std::string VersionString(const std::vector<BYTE>& block, const char* name)
{
    std::string path = std::string("\\StringFileInfo\\040704E4\\") + name;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "(missing)";
    return value;
}

void CheckVersion()
{
    Report(FindResourceExA(nullptr, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), GermanLanguage) != nullptr,
           "version: resource in German");
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    std::vector<BYTE> block(size);
    bool got = size > 0 && GetFileVersionInfoA(path, 0, size, block.data());
    Report(got, "version: GetFileVersionInfoA (%lu bytes)", size);
    if (!got)
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    bool fixedOk = VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
                   length >= sizeof *fixed;
    Report(fixedOk && fixed->dwSignature == 0xFEEF04BD && fixed->dwFileVersionMS == 0x00010000 &&
               fixed->dwFileVersionLS == 0 && fixed->dwProductVersionMS == 0x00010000 &&
               fixed->dwProductVersionLS == 0 && fixed->dwFileType == VFT_APP,
           "version: file and product version 1.0.0.0, an application");
    WORD* translation = nullptr;
    bool translationOk =
        VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
        translation && length >= 4;
    Report(translationOk && translation[0] == 0x0407 && translation[1] == 1252, "version: translation 0x%04X, %u",
           translationOk ? translation[0] : 0, translationOk ? translation[1] : 0);
    const char* const expected[][2] = {
        {"CompanyName", "Kestrel Systems GmbH"},
        {"FileDescription", "Portolan USB-Kompatibilit\xE4tscheck"},
        {"FileVersion", "1.0.0.0"},
        {"ProductName", "Portolan"},
        {"ProductVersion", "1.0.0.0"},
        {"OriginalFilename", "Portolan.exe"},
        {"LegalCopyright", "\xA9 2026 Kestrel Systems GmbH"},
    };
    for (const auto& entry : expected) {
        std::string value = VersionString(block, entry[0]);
        Report(value == AnsiFrom1252(entry[1]), "version: %s \"%s\"", entry[0], value.c_str());
    }
}

}  // namespace

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    Report(InitCommonControlsEx(&controls) != FALSE, "InitCommonControlsEx");

    CheckTemplate(MainDialog);
    CheckCreatedDialog(MainDialog);
    CheckTemplate(AboutDialog);
    CheckCreatedDialog(AboutDialog);
    CheckMenu();
    CheckAccelerators();
    CheckBitmap(IDB_TREE_IMAGES, 96, 16, 4);
    CheckImageList();
    CheckBitmap(IDB_ABOUT, 103, 65, 8);
    CheckIcon();
    CheckHelpFile();
    CheckManifest();
    CheckVersion();

    std::printf("resource check: %d passed, %d failed\n", Passed, Failed);
    return Failed == 0 ? 0 : 1;
}
