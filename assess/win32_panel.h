// The property panel over the main dialog's controls.
#pragma once

#include <windows.h>

#include "assess/panel_platform.h"

class Win32Panel : public PropertyPanel {
public:
    void Attach(HWND dialog) { dialog_ = dialog; }
    void SetFieldText(int control, const char* text) override;
    void SetCheck(int control, bool checked) override;
    bool IsChecked(int control) override;
    void SetBarPosition(int control, int position) override;

private:
    HWND dialog_ = nullptr;
};
