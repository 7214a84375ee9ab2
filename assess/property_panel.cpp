#include "assess/property_panel.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "app/advice_window.h"
#include "assess/vendor_names.h"
#include "usb/descriptor_walk.h"
#include "usb/usb_platform.h"

PropertyPanel* ActivePanel = nullptr;
int AdviceWindowEnabled = 0;

namespace {

constexpr size_t kTextBytes = 80;
constexpr uint8_t kEndpointType = 5;
constexpr const char* kSpeedNames[] = {"Low Speed", "Full Speed", "High Speed", "???"};
constexpr uint8_t kLastSpeed = 3;
constexpr uint8_t kHighSpeed = 2;

// The string descriptor's text in the ANSI code page; empty when it does not
// fit with its terminator into the buffer.
void ConvertString(const StringDescNode* node, char* text)
{
    text[0] = 0;
    const int units = (node->Descriptor[0] - 2) / 2;
    if (units <= 0)
        return;
    // The node's bytes need not be aligned for UTF-16 reads.
    WideChar wide[127] = {};
    memcpy(wide, node->Descriptor + 2, static_cast<size_t>(units) * sizeof(WideChar));
    const int written = ActiveCodePage->FromWide(wide, units, text, static_cast<int>(kTextBytes) - 1);
    text[written > 0 ? written : 0] = 0;
}

void CheckEndpointTypes(const ConfigRequestBuffer* config)
{
    DescriptorWalk(ConfigDescriptorOf(config), [](const DescriptorHeader* header) {
        // bmAttributes is byte 3; a shorter endpoint descriptor says nothing.
        if (header->bDescriptorType == kEndpointType &&
            header->bLength > offsetof(USB_ENDPOINT_DESCRIPTOR, bmAttributes)) {
            switch (reinterpret_cast<const USB_ENDPOINT_DESCRIPTOR*>(header)->bmAttributes & 3) {
            case 1:
                ActivePanel->SetCheck(IsochronousBox, true);
                break;
            case 2:
                ActivePanel->SetCheck(BulkBox, true);
                break;
            case 3:
                ActivePanel->SetCheck(InterruptBox, true);
                break;
            default:
                break;
            }
        }
        return WalkStep::Continue;
    });
}

}  // namespace

const char* SpeedName(uint8_t speed)
{
    return kSpeedNames[speed > kLastSpeed ? kLastSpeed : speed];
}

int OnSelectionChanged(WindowRef dialog, uint32_t notifyCode, TreeItem newItem)
{
    if (notifyCode != kTreeSelectionChanged || !newItem)
        return 0;
    ShowNodeProperties(dialog, static_cast<const TreeNodeInfo*>(ActiveTreeView->ItemParam(newItem)));
    return 0;
}

int ShowNodeProperties(WindowRef dialog, const TreeNodeInfo* record)
{
    for (int field : {VendorIdField, ProductIdField, VendorNameField, ProductNameField, PnpInstanceField, SerialField,
                      ConfigurationsField, SpeedField})
        ActivePanel->SetFieldText(field, "");
    ActivePanel->SetBarPosition(DataRateBar, 0);
    for (int box : {ControlBox, BulkBox, InterruptBox, IsochronousBox})
        ActivePanel->SetCheck(box, false);
    int topic = kNoDeviceTopic;

    if (record && (record->Kind == ExternalHub || record->Kind == PortDevice)) {
        const USB_NODE_CONNECTION_INFORMATION_EX* info = record->ConnectionInfo;
        const ConfigRequestBuffer* config = record->ConfigRequest;
        const bool isHub = record->Kind == ExternalHub && record->NodeInfo;

        if (record->PnpInstanceId)
            ActivePanel->SetFieldText(PnpInstanceField, record->PnpInstanceId);

        if (config) {
            ActivePanel->SetCheck(ControlBox, true);
            CheckEndpointTypes(config);
        }

        if (info && info->ConnectionStatus != NoDeviceConnected) {
            const USB_DEVICE_DESCRIPTOR& device = info->DeviceDescriptor;
            char text[kTextBytes] = {};
            snprintf(text, sizeof(text), "%u", static_cast<unsigned>(device.bNumConfigurations));
            ActivePanel->SetFieldText(ConfigurationsField, text);
            snprintf(text, sizeof(text), "%04x", static_cast<unsigned>(device.idVendor));
            ActivePanel->SetFieldText(VendorIdField, text);
            snprintf(text, sizeof(text), "%04x", static_cast<unsigned>(device.idProduct));
            ActivePanel->SetFieldText(ProductIdField, text);
            if (const char* vendor = LookupVendorName(device.idVendor))
                ActivePanel->SetFieldText(VendorNameField, vendor);

            for (const StringDescNode* node = record->StringList; node; node = node->Next) {
                if (node->Index == 0)
                    continue;
                ConvertString(node, text);
                if (node->Index == device.iManufacturer)
                    ActivePanel->SetFieldText(VendorNameField, text);
                if (node->Index == device.iProduct)
                    ActivePanel->SetFieldText(ProductNameField, text);
                if (node->Index == device.iSerialNumber)
                    ActivePanel->SetFieldText(SerialField, text);
            }

            const uint8_t speed = info->Speed > kLastSpeed ? kLastSpeed : info->Speed;
            ActivePanel->SetBarPosition(DataRateBar, 1 << speed);
            ActivePanel->SetFieldText(SpeedField, SpeedName(speed));
            topic = speed == kHighSpeed ? 102 : 101;
            if (ActivePanel->IsChecked(IsochronousBox))
                topic += 2;
        }

        if (isHub || !config)
            topic = kNoDeviceTopic;
    }

    if (AdviceWindowEnabled)
        ShowAdviceTopic(dialog, topic);
    return topic;
}
