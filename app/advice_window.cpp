#include "app/advice_window.h"

#include <cstring>

#include "app/html_help_records.h"
#include "tree/registry_platform.h"

HelpPlatform* ActiveHelp = nullptr;
int32_t LastAdviceTopic = 0;

namespace {

constexpr int kCaptionCapacity = 100;
constexpr uint32_t kPathBytes = 260;
constexpr int kHtmlHelpOrdinal = 14;
constexpr int kGapRightOfMainWindow = 5;
constexpr int kGapAtScreenEdge = 100;
constexpr char kWindowType[] = "NewWindow";
constexpr char kHelpWindow[] = "Portolan.chm>NewWindow";
constexpr char kControlKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

// The binding to the HTML Help control, made once.
void* HelpModule = nullptr;
void* HelpEntry = nullptr;
bool HelpLoadFailed = false;

}  // namespace

int GetHtmlHelpControlPath(char* path)
{
    RegistryKey key = ActiveRegistry->OpenKeyEx(ClassesRootKey(), kControlKey, kKeyRead);
    if (!key)
        return 0;
    uint32_t size = kPathBytes;
    bool read = ActiveRegistry->QueryValue(key, "", path, &size);
    ActiveRegistry->CloseKey(key);
    // A path without its terminator inside the buffer names no file.
    return read && memchr(path, 0, kPathBytes) ? 1 : 0;
}

WindowRef CallHtmlHelp(WindowRef caller, const char* file, unsigned command, uintptr_t data)
{
    if (!HelpModule) {
        if (HelpLoadFailed)
            return nullptr;
        char path[kPathBytes] = {};
        if (GetHtmlHelpControlPath(path))
            HelpModule = ActiveHelp->LoadModule(path);
        if (!HelpModule)
            HelpModule = ActiveHelp->LoadSystemModule("hhctrl.ocx");
        if (!HelpModule) {
            HelpLoadFailed = true;
            return nullptr;
        }
    }
    if (!HelpEntry) {
        if (HelpLoadFailed)
            return nullptr;
        HelpEntry = ActiveHelp->FindOrdinal(HelpModule, kHtmlHelpOrdinal);
        if (!HelpEntry) {
            HelpLoadFailed = true;
            return nullptr;
        }
    }
    return ActiveHelp->CallEntry(HelpEntry, caller, file, command, data);
}

void ShowAdviceTopic(WindowRef mainWindow, int32_t topic)
{
    if (topic < 0) {
        CallHtmlHelp(nullptr, nullptr, HH_CLOSE_ALL, 0);
    } else if (topic != LastAdviceTopic) {
        ActiveHelp->EnterTempFolder();
        char caption[kCaptionCapacity] = {};
        ActiveHelp->WindowCaption(mainWindow, caption, kCaptionCapacity);
        const ScreenRect main = ActiveHelp->WindowRect(mainWindow);

        HH_WINTYPE type = {};
        type.cbStruct = sizeof(type);
        type.fUniCodeStrings = 0;
        type.pszType = kWindowType;
        type.fsValidMembers = HHWIN_PARAM_RECT | HHWIN_PARAM_TB_FLAGS | HHWIN_PARAM_EXPANSION;
        type.pszCaption = caption;
        type.rcWindowPos.left = main.right + kGapRightOfMainWindow;
        type.rcWindowPos.top = main.top;
        type.rcWindowPos.right = ActiveHelp->FullScreenWidth() - kGapAtScreenEdge;
        type.rcWindowPos.bottom = main.bottom;
        type.fsToolBarFlags = 0;
        type.fNotExpanded = 1;
        // The control takes the type's name from the file argument ("file>type");
        // with the bare file name it finds no window name and ignores the record.
        CallHtmlHelp(ActiveHelp->DesktopWindow(), kHelpWindow, HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type));
        CallHtmlHelp(nullptr, kHelpWindow, HH_HELP_CONTEXT, static_cast<uintptr_t>(topic));
        ActiveHelp->BringToForeground(mainWindow);
    }
    LastAdviceTopic = topic;
}

void ResetAdviceWindowState()
{
    HelpModule = nullptr;
    HelpEntry = nullptr;
    HelpLoadFailed = false;
    LastAdviceTopic = 0;
}
