#include "app/menu_commands.h"

#include "app/advice_window.h"
#include "app/command_ids.h"
#include "app/shell_platform.h"
#include "tree/topology_scan.h"
#include "usb/usb_stack.h"

ShellPlatform* ActiveShell = nullptr;
int AutoRefreshEnabled = 0;

namespace {

constexpr int kAdviceOffTopic = -1;

// Flips a toggle and sets its check mark before anything else happens.
int Flip(int& flag, int command)
{
    flag = flag ? 0 : 1;
    ActiveShell->SetMenuCheck(command, flag != 0);
    return flag;
}

}  // namespace

void HandleMenuCommand(WindowRef window, int command, intptr_t, int)
{
    if (command < kFirstCommand || command > kLastCommand)
        return;
    switch (command) {
    case CommandExit:
        ActiveShell->UnregisterNotifications();
        ClearTree();
        ActiveShell->PostQuit(0);
        ActiveShell->EndMainDialog(0);
        break;
    case CommandRefresh:
        RefreshTree();
        break;
    case CommandAutoRefresh:
        Flip(AutoRefreshEnabled, command);
        break;
    case CommandAbout:
        ActiveShell->ShowAboutBox();
        break;
    case CommandUnusedPorts:
        Flip(ShowUnusedPorts, command);
        RefreshTree();
        break;
    case CommandUnusedControllers:
        Flip(ShowUnusedControllers, command);
        RefreshTree();
        break;
    case CommandAdviceWindow:
        ShowAdviceTopic(window, Flip(AdviceWindowEnabled, command) ? kNoDeviceTopic : kAdviceOffTopic);
        break;
    case CommandCyclePort:
        CycleSelectedPort();
        break;
    default:
        break;
    }
}

void CycleSelectedPort()
{
    TreeItem selected = ActiveTreeView->Selection();
    if (!selected)
        return;
    const auto* record = static_cast<const TreeNodeInfo*>(ActiveTreeView->ItemParam(selected));
    if (!record || (record->Kind != ExternalHub && record->Kind != PortDevice))
        return;
    TreeItem parent = ActiveTreeView->Parent(selected);
    if (!parent)
        return;
    const auto* hubRecord = static_cast<const TreeNodeInfo*>(ActiveTreeView->ItemParam(parent));
    if (!hubRecord || (hubRecord->Kind != RootHub && hubRecord->Kind != ExternalHub) || !hubRecord->HubName)
        return;
    DeviceHandle hub = OpenHubByName(hubRecord->HubName);
    if (hub == InvalidDeviceHandle()) {
        ActiveShell->Beep(kIconHandBeep);
        return;
    }
    CyclePort(hub, record->ConnectionInfo->ConnectionIndex);
    CloseDeviceHandle(hub);
}

void OnDeviceChange(WindowRef, uintptr_t event)
{
    if (!AutoRefreshEnabled)
        return;
    if (event == kDeviceArrival || event == kDeviceRemoveComplete)
        RefreshTree();
}

void CloseMainWindow(WindowRef)
{
    ClearTree();
    ActiveShell->PostQuit(0);
    ActiveShell->EndMainDialog(0);
}
