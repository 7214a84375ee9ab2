// Records exchanged with the USB host-controller and hub drivers.
// On Windows they come from the SDK headers; the native build defines the
// same byte-packed layouts. The asserts below hold in both builds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "usb/wide_char.h"

#ifdef _WIN32
#include <windows.h>
#include <usbioctl.h>
#include <usbspec.h>
#else

#pragma pack(push, 1)
struct USB_DEVICE_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bDeviceProtocol;
    uint8_t bMaxPacketSize0;
    uint16_t idVendor;
    uint16_t idProduct;
    uint16_t bcdDevice;
    uint8_t iManufacturer;
    uint8_t iProduct;
    uint8_t iSerialNumber;
    uint8_t bNumConfigurations;
};

struct USB_CONFIGURATION_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t wTotalLength;
    uint8_t bNumInterfaces;
    uint8_t bConfigurationValue;
    uint8_t iConfiguration;
    uint8_t bmAttributes;
    uint8_t MaxPower;
};

struct USB_INTERFACE_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bInterfaceNumber;
    uint8_t bAlternateSetting;
    uint8_t bNumEndpoints;
    uint8_t bInterfaceClass;
    uint8_t bInterfaceSubClass;
    uint8_t bInterfaceProtocol;
    uint8_t iInterface;
};

struct USB_ENDPOINT_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bEndpointAddress;
    uint8_t bmAttributes;
    uint16_t wMaxPacketSize;
    uint8_t bInterval;
};

struct USB_HUB_DESCRIPTOR {
    uint8_t bDescriptorLength;
    uint8_t bDescriptorType;
    uint8_t bNumberOfPorts;
    uint16_t wHubCharacteristics;
    uint8_t bPowerOnToPowerGood;
    uint8_t bHubControlCurrent;
    uint8_t bRemoveAndPowerMask[64];
};

struct USB_HUB_INFORMATION {
    USB_HUB_DESCRIPTOR HubDescriptor;
    uint8_t HubIsBusPowered;
};

struct USB_MI_PARENT_INFORMATION {
    uint32_t NumberOfInterfaces;
};

enum USB_HUB_NODE : uint32_t { UsbHub = 0, UsbMIParent = 1 };

struct USB_NODE_INFORMATION {
    USB_HUB_NODE NodeType;
    union {
        USB_HUB_INFORMATION HubInformation;
        USB_MI_PARENT_INFORMATION MiParentInformation;
    } u;
};

struct USB_PIPE_INFO {
    USB_ENDPOINT_DESCRIPTOR EndpointDescriptor;
    uint32_t ScheduleOffset;
};

enum USB_CONNECTION_STATUS : uint32_t {
    NoDeviceConnected = 0,
    DeviceConnected,
    DeviceFailedEnumeration,
    DeviceGeneralFailure,
    DeviceCausedOvercurrent,
    DeviceNotEnoughPower,
    DeviceNotEnoughBandwidth,
    DeviceHubNestedTooDeeply,
    DeviceInLegacyHub,
    DeviceEnumerating,
    DeviceReset
};

struct USB_NODE_CONNECTION_INFORMATION_EX {
    uint32_t ConnectionIndex;
    USB_DEVICE_DESCRIPTOR DeviceDescriptor;
    uint8_t CurrentConfigurationValue;
    uint8_t Speed;
    uint8_t DeviceIsHub;
    uint16_t DeviceAddress;
    uint32_t NumberOfOpenPipes;
    USB_CONNECTION_STATUS ConnectionStatus;
    USB_PIPE_INFO PipeList[];
};

struct USB_NODE_CONNECTION_INFORMATION {
    uint32_t ConnectionIndex;
    USB_DEVICE_DESCRIPTOR DeviceDescriptor;
    uint8_t CurrentConfigurationValue;
    uint8_t LowSpeed;
    uint8_t DeviceIsHub;
    uint16_t DeviceAddress;
    uint32_t NumberOfOpenPipes;
    USB_CONNECTION_STATUS ConnectionStatus;
    USB_PIPE_INFO PipeList[];
};

struct USB_NODE_CONNECTION_NAME {
    uint32_t ConnectionIndex;
    uint32_t ActualLength;
    WideChar NodeName[1];
};

struct USB_NODE_CONNECTION_DRIVERKEY_NAME {
    uint32_t ConnectionIndex;
    uint32_t ActualLength;
    WideChar DriverKeyName[1];
};

struct USB_ROOT_HUB_NAME {
    uint32_t ActualLength;
    WideChar RootHubName[1];
};

struct USB_DESCRIPTOR_REQUEST {
    uint32_t ConnectionIndex;
    struct {
        uint8_t bmRequest;
        uint8_t bRequest;
        uint16_t wValue;
        uint16_t wIndex;
        uint16_t wLength;
    } SetupPacket;
    uint8_t Data[];
};

struct USB_CYCLE_PORT_PARAMS {
    uint32_t ConnectionIndex;
    uint32_t StatusReturned;
};
#pragma pack(pop)

// I/O control codes: CTL_CODE(FILE_DEVICE_USB, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t IOCTL_USB_GET_ROOT_HUB_NAME = 0x220408;
constexpr uint32_t IOCTL_USB_GET_NODE_INFORMATION = 0x220408;
constexpr uint32_t IOCTL_USB_GET_NODE_CONNECTION_INFORMATION = 0x22040C;
constexpr uint32_t IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION = 0x220410;
constexpr uint32_t IOCTL_USB_GET_NODE_CONNECTION_NAME = 0x220414;
constexpr uint32_t IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME = 0x220420;
constexpr uint32_t IOCTL_USB_HUB_CYCLE_PORT = 0x220444;
constexpr uint32_t IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX = 0x220448;
#endif

static_assert(sizeof(WideChar) == 2);
static_assert(sizeof(USB_DEVICE_DESCRIPTOR) == 18);
static_assert(sizeof(USB_CONFIGURATION_DESCRIPTOR) == 9);
static_assert(sizeof(USB_INTERFACE_DESCRIPTOR) == 9);
static_assert(sizeof(USB_ENDPOINT_DESCRIPTOR) == 7);
static_assert(sizeof(USB_HUB_DESCRIPTOR) == 71);
static_assert(sizeof(USB_NODE_INFORMATION) == 76);
static_assert(offsetof(USB_NODE_INFORMATION, u) == 4);
static_assert(sizeof(USB_PIPE_INFO) == 11);
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION_EX) == 35);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceDescriptor) == 4);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, CurrentConfigurationValue) == 22);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, Speed) == 23);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceIsHub) == 24);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, DeviceAddress) == 25);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, NumberOfOpenPipes) == 27);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, ConnectionStatus) == 31);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION_EX, PipeList) == 35);
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION) == 35);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, LowSpeed) == 23);
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, PipeList) == 35);
static_assert(sizeof(USB_NODE_CONNECTION_NAME) == 10);
static_assert(offsetof(USB_NODE_CONNECTION_NAME, NodeName) == 8);
static_assert(sizeof(USB_NODE_CONNECTION_DRIVERKEY_NAME) == 10);
static_assert(offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName) == 8);
static_assert(sizeof(USB_ROOT_HUB_NAME) == 6);
static_assert(offsetof(USB_ROOT_HUB_NAME, RootHubName) == 4);
static_assert(sizeof(USB_DESCRIPTOR_REQUEST) == 12);
static_assert(offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket.wValue) == 6);
static_assert(offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket.wLength) == 10);
static_assert(sizeof(USB_CYCLE_PORT_PARAMS) == 8);
static_assert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX == 0x220448);
static_assert(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION == 0x220410);
static_assert(IOCTL_USB_HUB_CYCLE_PORT == 0x220444);

// Sizes the system uses for its requests.
constexpr uint32_t kConnectionInfoBytes = 35 + 30 * 11;   // 365: fixed part and 30 pipes
constexpr uint32_t kNodeInfoBytes = sizeof(USB_NODE_INFORMATION);
