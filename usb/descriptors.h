// Configuration and string descriptors read from a device through its hub.
#pragma once

#include <cstdint>

#include "usb/usb_platform.h"
#include "usb/usb_records.h"

// One fetched string descriptor; the nodes form a singly linked list whose
// first node is the LanguageList (index 0, language 0).
struct StringDescNode {
    StringDescNode* Next;
    uint8_t Index;
    uint16_t LanguageId;
    uint8_t Descriptor[];   // bLength bytes as the device sent them
};

// A whole descriptor request whose Data is the configuration descriptor set:
// 12 + wTotalLength bytes in one block.
using ConfigRequestBuffer = USB_DESCRIPTOR_REQUEST;

constexpr uint32_t kDescriptorRequestHeader = sizeof(USB_DESCRIPTOR_REQUEST);

inline const USB_CONFIGURATION_DESCRIPTOR* ConfigDescriptorOf(const ConfigRequestBuffer* request)
{
    return reinterpret_cast<const USB_CONFIGURATION_DESCRIPTOR*>(request->Data);
}

ConfigRequestBuffer* FetchConfigDescriptor(DeviceHandle hub, uint32_t port, uint8_t configIndex);
bool HasStringDescriptors(const USB_DEVICE_DESCRIPTOR* device, const USB_CONFIGURATION_DESCRIPTOR* config);
StringDescNode* FetchStringDescriptor(DeviceHandle hub, uint32_t port, uint8_t index, uint16_t language);
StringDescNode* FetchStringsForIndex(DeviceHandle hub, uint32_t port, uint8_t index, uint32_t languageCount,
                                     const uint16_t* languages, StringDescNode* tail);
StringDescNode* CollectStringDescriptors(DeviceHandle hub, uint32_t port, const USB_DEVICE_DESCRIPTOR* device,
                                         const USB_CONFIGURATION_DESCRIPTOR* config);

// Releases every node of a list, reading each link before its node goes.
void ReleaseStringList(StringDescNode* head);
