#include "usb/usb_stack.h"

#include <cstring>

#include "usb/usb_records.h"
#include "usb/zeroed_alloc.h"

UsbPlatform* ActiveUsbPlatform = nullptr;
AnsiCodePage* ActiveCodePage = nullptr;

namespace {

constexpr uint32_t kPathBufferBytes = 512;
constexpr char kDevicePrefix[] = "\\\\.\\";

// Reply buffers get a zero UTF-16 unit behind the size handed to the driver,
// at an even offset also when that size is odd, so a name that lacks its
// terminator still ends inside the block.
constexpr uint32_t kNameGuardBytes = sizeof(WideChar) + 1;
// A device name is a counted UTF-16 string of at most 65535 bytes; a record
// claiming more is refused before anything is allocated for it.
constexpr uint32_t kMaxNameRecordBytes = 0x10000 + sizeof(USB_NODE_CONNECTION_NAME);

// GetExternalHubName and GetDriverKeyName: both records are
// ConnectionIndex, ActualLength, then the name.
char* GetConnectionName(DeviceHandle hub, uint32_t port, uint32_t code)
{
    uint8_t probe[sizeof(USB_NODE_CONNECTION_NAME)] = {};
    auto* probeRecord = reinterpret_cast<USB_NODE_CONNECTION_NAME*>(probe);
    probeRecord->ConnectionIndex = port;
    uint32_t returned = 0;
    if (!HubIoControl(hub, code, probe, sizeof(probe), &returned))
        return nullptr;
    uint32_t actualLength = probeRecord->ActualLength;
    if (actualLength <= sizeof(USB_NODE_CONNECTION_NAME) || actualLength > kMaxNameRecordBytes)
        return nullptr;

    auto* buffer = static_cast<uint8_t*>(AllocZeroed(size_t{actualLength} + kNameGuardBytes));
    if (!buffer)
        return nullptr;
    reinterpret_cast<USB_NODE_CONNECTION_NAME*>(buffer)->ConnectionIndex = port;
    char* text = nullptr;
    if (HubIoControl(hub, code, buffer, actualLength, &returned))
        text = WideToAnsi(reinterpret_cast<USB_NODE_CONNECTION_NAME*>(buffer)->NodeName);
    ReleaseBuffer(buffer);
    return text;
}

}  // namespace

bool HubIoControl(DeviceHandle handle, uint32_t code, void* buffer, uint32_t size, uint32_t* bytesReturned)
{
    *bytesReturned = 0;
    return ActiveUsbPlatform->IoControl(handle, code, buffer, size, buffer, size, bytesReturned);
}

void CloseDeviceHandle(DeviceHandle handle)
{
    ActiveUsbPlatform->CloseDevice(handle);
}

DeviceHandle OpenHubByName(const char* hubName)
{
    char path[kPathBufferBytes] = {};
    size_t prefix = sizeof(kDevicePrefix) - 1;
    size_t nameLength = strlen(hubName);
    // The path must fit with its terminator; a longer name names no hub.
    if (prefix + nameLength >= sizeof(path))
        return InvalidDeviceHandle();
    memcpy(path, kDevicePrefix, prefix);
    memcpy(path + prefix, hubName, nameLength);
    return ActiveUsbPlatform->OpenDevice(path);
}

char* GetRootHubName(DeviceHandle controller)
{
    uint8_t probe[sizeof(USB_ROOT_HUB_NAME)] = {};
    uint32_t returned = 0;
    if (!ActiveUsbPlatform->IoControl(controller, IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, probe, sizeof(probe),
                                      &returned))
        return nullptr;
    uint32_t actualLength = reinterpret_cast<USB_ROOT_HUB_NAME*>(probe)->ActualLength;
    // A reply that cannot even hold the length field and the name's terminator
    // is refused before anything is read behind it.
    if (actualLength < sizeof(USB_ROOT_HUB_NAME) || actualLength > kMaxNameRecordBytes)
        return nullptr;

    auto* buffer = static_cast<uint8_t*>(AllocZeroed(size_t{actualLength} + kNameGuardBytes));
    if (!buffer)
        return nullptr;
    char* text = nullptr;
    if (ActiveUsbPlatform->IoControl(controller, IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, buffer, actualLength,
                                     &returned))
        text = WideToAnsi(reinterpret_cast<USB_ROOT_HUB_NAME*>(buffer)->RootHubName);
    ReleaseBuffer(buffer);
    return text;
}

char* GetExternalHubName(DeviceHandle hub, uint32_t port)
{
    return GetConnectionName(hub, port, IOCTL_USB_GET_NODE_CONNECTION_NAME);
}

char* GetDriverKeyName(DeviceHandle hub, uint32_t port)
{
    return GetConnectionName(hub, port, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME);
}

int CyclePort(DeviceHandle hub, uint32_t port)
{
    USB_CYCLE_PORT_PARAMS params = {};
    params.ConnectionIndex = port;
    uint32_t returned = 0;
    // The whole record as the platform documents it; StatusReturned stays 0.
    return ActiveUsbPlatform->IoControl(hub, IOCTL_USB_HUB_CYCLE_PORT, &params, sizeof(params), nullptr, 0,
                                        &returned)
               ? 1
               : 0;
}

char* WideToAnsi(const WideChar* text)
{
    int size = ActiveCodePage->FromWide(text, -1, nullptr, 0);
    if (size <= 0)
        return nullptr;
    auto* out = static_cast<char*>(AllocZeroed(static_cast<size_t>(size)));
    if (!out)
        return nullptr;
    if (ActiveCodePage->FromWide(text, -1, out, size) == 0) {
        ReleaseBuffer(out);
        return nullptr;
    }
    return out;
}
