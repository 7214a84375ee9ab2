#include "usb/descriptors.h"

#include <cstring>

#include "usb/descriptor_walk.h"
#include "usb/usb_stack.h"
#include "usb/zeroed_alloc.h"

namespace {

constexpr uint8_t kConfigurationType = 2;
constexpr uint8_t kInterfaceType = 4;
constexpr uint8_t kStringType = 3;
constexpr uint16_t kStringRequestLength = 255;
// String requests for one device, the LanguageList's included. A device
// can name at most 255 string indexes, and real ones name a few dozen in
// one to four languages; a set that repeats an index in every interface in
// 126 languages would otherwise ask close to a million times.
constexpr uint32_t kMaxStringRequests = 1024;

void PrepareRequest(USB_DESCRIPTOR_REQUEST* request, uint32_t port, uint16_t value, uint16_t index, uint16_t length)
{
    request->ConnectionIndex = port;
    request->SetupPacket.wValue = value;
    request->SetupPacket.wIndex = index;
    request->SetupPacket.wLength = length;
}

// The string index a configuration or interface descriptor names. Returns
// false when the descriptor's length is not one the walk accepts.
bool StringIndexOf(const DescriptorHeader* header, uint8_t* index)
{
    *index = 0;
    if (header->bDescriptorType == kConfigurationType) {
        if (header->bLength != sizeof(USB_CONFIGURATION_DESCRIPTOR))
            return false;
        *index = reinterpret_cast<const USB_CONFIGURATION_DESCRIPTOR*>(header)->iConfiguration;
    } else if (header->bDescriptorType == kInterfaceType) {
        if (header->bLength != 9 && header->bLength != 11)
            return false;
        *index = reinterpret_cast<const USB_INTERFACE_DESCRIPTOR*>(header)->iInterface;
    }
    return true;
}

}  // namespace

ConfigRequestBuffer* FetchConfigDescriptor(DeviceHandle hub, uint32_t port, uint8_t configIndex)
{
    const uint16_t value = static_cast<uint16_t>(0x0200 | configIndex);
    uint8_t probe[kDescriptorRequestHeader + sizeof(USB_CONFIGURATION_DESCRIPTOR)] = {};
    auto* probeRequest = reinterpret_cast<USB_DESCRIPTOR_REQUEST*>(probe);
    PrepareRequest(probeRequest, port, value, 0, sizeof(USB_CONFIGURATION_DESCRIPTOR));
    uint32_t returned = 0;
    if (!HubIoControl(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, probe, sizeof(probe), &returned))
        return nullptr;
    if (returned != sizeof(probe))
        return nullptr;
    const uint16_t totalLength = reinterpret_cast<const USB_CONFIGURATION_DESCRIPTOR*>(probeRequest->Data)->wTotalLength;
    if (totalLength < sizeof(USB_CONFIGURATION_DESCRIPTOR))
        return nullptr;

    const uint32_t size = kDescriptorRequestHeader + totalLength;
    auto* request = static_cast<ConfigRequestBuffer*>(AllocZeroed(size));
    if (!request)
        return nullptr;
    PrepareRequest(request, port, value, 0, totalLength);
    if (!HubIoControl(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, request, size, &returned) ||
        returned != size || ConfigDescriptorOf(request)->wTotalLength != totalLength) {
        ReleaseBuffer(request);
        return nullptr;
    }
    return request;
}

bool HasStringDescriptors(const USB_DEVICE_DESCRIPTOR* device, const USB_CONFIGURATION_DESCRIPTOR* config)
{
    if (device->iManufacturer || device->iProduct || device->iSerialNumber)
        return true;
    bool found = false;
    DescriptorWalk(config, [&](const DescriptorHeader* header) {
        uint8_t index = 0;
        if (!StringIndexOf(header, &index))
            return WalkStep::Stop;
        if (index) {
            found = true;
            return WalkStep::Stop;
        }
        return WalkStep::Continue;
    });
    return found;
}

StringDescNode* FetchStringDescriptor(DeviceHandle hub, uint32_t port, uint8_t index, uint16_t language)
{
    uint8_t buffer[kDescriptorRequestHeader + kStringRequestLength] = {};
    auto* request = reinterpret_cast<USB_DESCRIPTOR_REQUEST*>(buffer);
    PrepareRequest(request, port, static_cast<uint16_t>(0x0300 | index), language, kStringRequestLength);
    uint32_t returned = 0;
    if (!HubIoControl(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer, sizeof(buffer), &returned))
        return nullptr;
    // The reply must hold a descriptor header, and a driver may not report
    // more than it was given room for.
    if (returned < kDescriptorRequestHeader + sizeof(DescriptorHeader) || returned > sizeof(buffer))
        return nullptr;
    const auto* header = reinterpret_cast<const DescriptorHeader*>(request->Data);
    if (header->bDescriptorType != kStringType)
        return nullptr;
    if (header->bLength != returned - kDescriptorRequestHeader)
        return nullptr;
    if (header->bLength % 2 != 0)
        return nullptr;

    auto* node = static_cast<StringDescNode*>(AllocZeroed(sizeof(StringDescNode) + header->bLength));
    if (!node)
        return nullptr;
    node->Index = index;
    node->LanguageId = language;
    memcpy(node->Descriptor, request->Data, header->bLength);
    return node;
}

StringDescNode* FetchStringsForIndex(DeviceHandle hub, uint32_t port, uint8_t index, uint32_t languageCount,
                                     const uint16_t* languages, StringDescNode* tail)
{
    for (uint32_t i = 0; i < languageCount; ++i) {
        StringDescNode* node = FetchStringDescriptor(hub, port, index, languages[i]);
        if (node) {
            tail->Next = node;
            tail = node;
        }
    }
    return tail;
}

StringDescNode* CollectStringDescriptors(DeviceHandle hub, uint32_t port, const USB_DEVICE_DESCRIPTOR* device,
                                         const USB_CONFIGURATION_DESCRIPTOR* config)
{
    StringDescNode* head = FetchStringDescriptor(hub, port, 0, 0);
    if (!head)
        return nullptr;
    // The language IDs are the LanguageList's text units (FetchStringDescriptor
    // took none shorter than its 2-byte header); copied out because
    // the node's descriptor bytes need not be aligned for u16 reads.
    const uint32_t count = (head->Descriptor[0] - 2u) / 2u;
    uint16_t languages[127] = {};
    memcpy(languages, head->Descriptor + 2, count * sizeof(uint16_t));

    StringDescNode* tail = head;
    uint32_t budget = kMaxStringRequests - 1;
    // Fetches the index in as many languages as the budget allows; false
    // once it is spent.
    auto fetch = [&](uint8_t index) {
        const uint32_t languagesAsked = count < budget ? count : budget;
        tail = FetchStringsForIndex(hub, port, index, languagesAsked, languages, tail);
        budget -= languagesAsked;
        return budget > 0;
    };

    const uint8_t deviceIndexes[] = {device->iManufacturer, device->iProduct, device->iSerialNumber};
    for (uint8_t index : deviceIndexes)
        if (index && !fetch(index))
            return head;

    DescriptorWalk(config, [&](const DescriptorHeader* header) {
        uint8_t index = 0;
        if (!StringIndexOf(header, &index))
            return WalkStep::Stop;
        if (index && !fetch(index))
            return WalkStep::Stop;
        return WalkStep::Continue;
    });
    return head;
}

void ReleaseStringList(StringDescNode* head)
{
    while (head) {
        StringDescNode* next = head->Next;
        ReleaseBuffer(head);
        head = next;
    }
}
