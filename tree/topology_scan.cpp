#include "tree/topology_scan.h"

#include <cstdio>
#include <cstring>

#include "tree/ascii_case.h"
#include "tree/registry_lookup.h"
#include "usb/bounded_format.h"
#include "usb/descriptors.h"
#include "usb/usb_stack.h"
#include "usb/zeroed_alloc.h"

int32_t HubCount = 0;
int32_t DeviceCount = 0;
int ShowUnusedPorts = 0;
int ShowUnusedControllers = 0;

namespace {

constexpr uint32_t kDescriptionBytes = 200;
constexpr uint32_t kStatusCapacity = 128;
// "[Port4294967295] : " and a 199-character description.
constexpr size_t kLabelBytes = 32 + kDescriptionBytes;
constexpr char kPortPrefix[] = "[Port%d] ";

using ConnectionInfo = USB_NODE_CONNECTION_INFORMATION_EX;

// The hubs open on the way from the root hub to the hub being scanned. USB
// allows five tiers of external hubs below a root hub; a path of more than
// sixteen hubs, or one that names a hub already on it, comes from a faulty
// driver and would otherwise recurse until the stack is gone.
constexpr int kMaxHubPath = 16;
const char* OpenHubPath[kMaxHubPath] = {};
int OpenHubDepth = 0;

// Whether a hub of this name may be scanned below the current path.
bool HubMayBeScanned(const char* hubName)
{
    if (OpenHubDepth >= kMaxHubPath)
        return false;
    for (int i = 0; i < OpenHubDepth; ++i)
        if (CompareIgnoringAsciiCase(OpenHubPath[i], hubName) == 0)
            return false;
    return true;
}

void ReleaseHandedOver(char* hubName, ConnectionInfo* connectionInfo, ConfigRequestBuffer* configRequest,
                       StringDescNode* stringList)
{
    ReleaseBuffer(hubName);
    ReleaseBuffer(connectionInfo);
    ReleaseBuffer(configRequest);
    ReleaseStringList(stringList);
}

// Asks for the port's connection information, the newer form first. Returns
// a filled 365-byte block owned by the caller, or null.
ConnectionInfo* QueryConnection(DeviceHandle hub, uint32_t port, bool* outOfMemory)
{
    *outOfMemory = false;
    auto* info = static_cast<ConnectionInfo*>(AllocZeroed(kConnectionInfoBytes));
    if (!info) {
        *outOfMemory = true;
        return nullptr;
    }
    info->ConnectionIndex = port;
    uint32_t returned = 0;
    if (HubIoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, info, kConnectionInfoBytes, &returned))
        return info;

    auto* older = static_cast<USB_NODE_CONNECTION_INFORMATION*>(AllocZeroed(kConnectionInfoBytes));
    if (!older) {
        ReleaseBuffer(info);
        return nullptr;
    }
    older->ConnectionIndex = port;
    if (!HubIoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, older, kConnectionInfoBytes, &returned)) {
        ReleaseBuffer(older);
        ReleaseBuffer(info);
        return nullptr;
    }
    info->ConnectionIndex = older->ConnectionIndex;
    info->DeviceDescriptor = older->DeviceDescriptor;
    info->CurrentConfigurationValue = older->CurrentConfigurationValue;
    info->Speed = older->LowSpeed ? 0 : 1;
    info->DeviceIsHub = older->DeviceIsHub;
    info->DeviceAddress = older->DeviceAddress;
    info->NumberOfOpenPipes = older->NumberOfOpenPipes;
    info->ConnectionStatus = older->ConnectionStatus;
    memcpy(reinterpret_cast<uint8_t*>(info) + sizeof(ConnectionInfo),
           reinterpret_cast<const uint8_t*>(older) + sizeof(USB_NODE_CONNECTION_INFORMATION),
           kConnectionInfoBytes - sizeof(ConnectionInfo));
    ReleaseBuffer(older);
    return info;
}

int PortImage(const ConnectionInfo* info)
{
    if (info->ConnectionStatus == 0)
        return ImageNoDevice;
    return info->CurrentConfigurationValue ? ImageDevice : ImageDeviceProblem;
}

void FormatPortLabel(char* label, uint32_t port, const char* description, bool alwaysSeparator)
{
    int length = snprintf(label, kLabelBytes, kPortPrefix, static_cast<int>(port));
    if (alwaysSeparator || description[0])
        snprintf(label + length, kLabelBytes - static_cast<size_t>(length), ": %s", description);
}

}  // namespace

void RefreshTree()
{
    ClearTree();
    RootItem = InsertTreeItem(nullptr, nullptr, "My Computer", ImageComputer);
    if (!RootItem)
        return;
    ScanAllControllers(RootItem);
    WalkTree(RootItem, ExpandTreeItem);
    char status[kStatusCapacity] = {};
    StringCchPrintfA(status, kStatusCapacity, "Connected Hubs: %d   Other Devices: %d", HubCount,
                     DeviceCount - HubCount);
    ActiveStatusBar->SetText(status);
}

void ScanAllControllers(TreeItem rootItem)
{
    DeviceCount = 0;
    HubCount = 0;
    UsbPlatform* platform = ActiveUsbPlatform;
    ControllerSet set = platform->OpenControllerSet();
    if (!set)
        return;
    for (uint32_t index = 0; platform->EnumController(set, index); ++index) {
        // A controller whose interface or path cannot be read is treated like
        // one whose path does not open.
        uint32_t pathSize = platform->ControllerPathSize(set, index);
        if (pathSize == 0)
            continue;
        void* pathBuffer = AllocZeroed(pathSize);
        if (!pathBuffer)
            continue;
        const char* path = platform->ControllerPath(set, index, pathBuffer, pathSize);
        if (path) {
            char description[kDescriptionBytes] = {};
            if (!platform->ControllerDescription(set, index, description, kDescriptionBytes) ||
                memchr(description, 0, kDescriptionBytes) == nullptr)
                snprintf(description, kDescriptionBytes, "%s", "Host Controller");
            DeviceHandle controller = platform->OpenDevice(path);
            if (controller != InvalidDeviceHandle()) {
                AddControllerNode(rootItem, controller, description);
                platform->CloseDevice(controller);
            }
        }
        ReleaseBuffer(pathBuffer);
    }
    platform->CloseControllerSet(set);
}

void AddControllerNode(TreeItem parent, DeviceHandle controller, const char* description)
{
    auto* record = static_cast<TreeNodeInfo*>(AllocZeroed(kControllerRecordBytes));
    if (!record)
        return;
    record->Kind = Controller;
    TreeItem item = InsertTreeItem(parent, record, description, ImageController);
    if (!item) {
        ReleaseBuffer(record);
        return;
    }
    char* rootHubName = GetRootHubName(controller);
    if (!rootHubName)
        return;
    const int32_t devicesBefore = DeviceCount;
    ScanHub(item, rootHubName, nullptr, nullptr, nullptr, "RootHub");
    if (DeviceCount == devicesBefore && !ShowUnusedControllers)
        RemoveSubtree(item);
}

void ScanHub(TreeItem parent, char* hubName, USB_NODE_CONNECTION_INFORMATION_EX* connectionInfo,
             ConfigRequestBuffer* configRequest, StringDescNode* stringList, const char* description)
{
    auto* record = static_cast<TreeNodeInfo*>(AllocZeroed(sizeof(TreeNodeInfo)));
    auto* nodeInfo = static_cast<USB_NODE_INFORMATION*>(AllocZeroed(kNodeInfoBytes));
    if (!record || !nodeInfo) {
        ReleaseBuffer(nodeInfo);
        ReleaseBuffer(record);
        ReleaseHandedOver(hubName, connectionInfo, configRequest, stringList);
        return;
    }
    record->NodeInfo = nodeInfo;
    record->HubName = hubName;
    if (connectionInfo) {
        record->Kind = ExternalHub;
        record->ConnectionInfo = connectionInfo;
        record->ConfigRequest = configRequest;
        record->StringList = stringList;
    } else {
        record->Kind = RootHub;
    }

    // A hub named twice on one path, or too deep, is not opened.
    DeviceHandle hub = HubMayBeScanned(hubName) ? OpenHubByName(hubName) : InvalidDeviceHandle();
    TreeItem item = nullptr;
    if (hub != InvalidDeviceHandle()) {
        nodeInfo->NodeType = UsbHub;
        uint32_t returned = 0;
        if (HubIoControl(hub, IOCTL_USB_GET_NODE_INFORMATION, nodeInfo, kNodeInfoBytes, &returned)) {
            char label[kLabelBytes] = {};
            if (connectionInfo)
                FormatPortLabel(label, connectionInfo->ConnectionIndex, description, true);
            else
                snprintf(label, kLabelBytes, "%s", description);
            item = InsertTreeItem(parent, record, label, ImageHub);
        }
    }
    if (!item) {
        if (hub != InvalidDeviceHandle())
            CloseDeviceHandle(hub);
        // The record holds the node buffer and everything handed over.
        ReleaseTreeNodeInfo(record);
        return;
    }
    OpenHubPath[OpenHubDepth++] = hubName;
    ScanHubPorts(item, hub, nodeInfo->u.HubInformation.HubDescriptor.bNumberOfPorts);
    --OpenHubDepth;
    CloseDeviceHandle(hub);
}

void ScanHubPorts(TreeItem hubItem, DeviceHandle hub, uint8_t portCount)
{
    for (uint32_t port = 1; port <= portCount; ++port) {
        bool outOfMemory = false;
        ConnectionInfo* info = QueryConnection(hub, port, &outOfMemory);
        if (outOfMemory)
            return;
        if (!info)
            continue;

        if (info->ConnectionStatus == DeviceConnected)
            ++DeviceCount;
        if (info->DeviceIsHub)
            ++HubCount;

        char* instanceId = nullptr;
        char description[kDescriptionBytes] = {};
        if (info->ConnectionStatus != NoDeviceConnected) {
            char* driverKey = GetDriverKeyName(hub, port);
            if (driverKey) {
                instanceId = FindPnpInstanceId(driverKey);
                ReadDriverDesc(driverKey, description);
                ReleaseBuffer(driverKey);
            }
        }

        ConfigRequestBuffer* configRequest = nullptr;
        StringDescNode* stringList = nullptr;
        if (info->ConnectionStatus == DeviceConnected) {
            configRequest = FetchConfigDescriptor(hub, port, 0);
            if (configRequest && HasStringDescriptors(&info->DeviceDescriptor, ConfigDescriptorOf(configRequest)))
                stringList =
                    CollectStringDescriptors(hub, port, &info->DeviceDescriptor, ConfigDescriptorOf(configRequest));
        }

        if (info->DeviceIsHub) {
            char* hubName = GetExternalHubName(hub, port);
            if (hubName)
                ScanHub(hubItem, hubName, info, configRequest, stringList, description);
            else
                ReleaseHandedOver(nullptr, info, configRequest, stringList);
        } else if (info->ConnectionStatus == NoDeviceConnected && !ShowUnusedPorts) {
            ReleaseHandedOver(nullptr, info, configRequest, stringList);
        } else {
            auto* record = static_cast<TreeNodeInfo*>(AllocZeroed(sizeof(TreeNodeInfo)));
            if (!record) {
                ReleaseHandedOver(instanceId, info, configRequest, stringList);
                return;
            }
            record->Kind = PortDevice;
            record->ConnectionInfo = info;
            record->ConfigRequest = configRequest;
            record->StringList = stringList;
            record->PnpInstanceId = instanceId;
            instanceId = nullptr;
            char label[kLabelBytes] = {};
            FormatPortLabel(label, port, description, false);
            if (!InsertTreeItem(hubItem, record, label, PortImage(info)))
                ReleaseTreeNodeInfo(record);
        }
        ReleaseBuffer(instanceId);
    }
}
