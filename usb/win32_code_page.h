// Text conversion between the ANSI code page and UTF-16 or UTF-8.
#pragma once

#include "usb/usb_platform.h"

class Win32AnsiCodePage : public AnsiCodePage {
public:
    int FromWide(const WideChar* text, int units, char* out, int outBytes) override;
    int ToWide(const char* text, WideChar* out, int outUnits) override;
};
