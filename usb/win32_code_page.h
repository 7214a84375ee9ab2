// Text conversion to the ANSI code page through WideCharToMultiByte.
#pragma once

#include "usb/usb_platform.h"

class Win32AnsiCodePage : public AnsiCodePage {
public:
    int FromWide(const WideChar* text, int units, char* out, int outBytes) override;
};
