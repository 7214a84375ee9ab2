// What the property panel needs of the main dialog's controls. The Win32
// build sets the dialog's controls; the native build keeps them in memory.
#pragma once

#include "res/resource_ids.h"

// A window of the platform (HWND in the Win32 build).
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

class PropertyPanel {
public:
    virtual ~PropertyPanel() = default;
    virtual void SetFieldText(int control, const char* text) = 0;
    virtual void SetCheck(int control, bool checked) = 0;
    virtual bool IsChecked(int control) = 0;
    virtual void SetBarPosition(int control, int position) = 0;
};

extern PropertyPanel* ActivePanel;
