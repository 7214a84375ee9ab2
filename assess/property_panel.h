// The property panel of the selected tree item and the advice topic it yields.
#pragma once

#include <cstdint>

#include "res/resource_ids.h"
#include "tree/tree_container.h"
#include "tree/tree_node_info.h"

using WindowRef = void*;

// Controls of the panel in the main dialog.
enum PanelControl : int {
    VendorIdField = IDC_VENDOR_ID,
    ProductIdField = IDC_PRODUCT_ID,
    VendorNameField = IDC_VENDOR_NAME,
    ProductNameField = IDC_PRODUCT_NAME,
    DataRateBar = IDC_SPEED_BAR,
    SpeedField = IDC_SPEED_NAME,
    BulkBox = IDC_BULK_TRANSFERS,
    InterruptBox = IDC_INTERRUPT_TRANSFERS,
    IsochronousBox = IDC_ISOCHRONOUS_TRANSFERS,
    ControlBox = IDC_CONTROL_TRANSFERS,
    ConfigurationsField = IDC_CONFIGURATION_COUNT,
    SerialField = IDC_SERIAL_NUMBER,
    PnpInstanceField = IDC_PNP_INSTANCE_ID,
};

// What the panel needs of the dialog's controls.
class PropertyPanel {
public:
    virtual ~PropertyPanel() = default;
    virtual void SetFieldText(int control, const char* text) = 0;
    virtual void SetCheck(int control, bool checked) = 0;
    virtual bool IsChecked(int control) = 0;
    virtual void SetBarPosition(int control, int position) = 0;
};

// Where the chosen topic goes while the advice window is switched on.
class AdviceSink {
public:
    virtual ~AdviceSink() = default;
    virtual void ShowAdviceTopic(WindowRef window, int topic) = 0;
};

extern PropertyPanel* Panel;
extern AdviceSink* AdviceWindow;
extern int AdviceWindowEnabled;

constexpr int kNoDeviceTopic = 100;
// TVN_SELCHANGEDA.
constexpr uint32_t kTreeSelectionChanged = static_cast<uint32_t>(-402);

// A tree notification: the code and the newly selected item. Returns 0.
int OnSelectionChanged(WindowRef dialog, uint32_t notifyCode, TreeItem newItem);
void ShowNodeProperties(WindowRef dialog, const TreeNodeInfo* record);

// The speed name for a Speed value; values past the table read as its last entry.
const char* SpeedName(uint8_t speed);
