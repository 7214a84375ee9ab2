#include "usb/win32_code_page.h"

#include <windows.h>

int Win32AnsiCodePage::FromWide(const WideChar* text, int units, char* out, int outBytes)
{
    return WideCharToMultiByte(CP_ACP, 0, text, units, out, outBytes, nullptr, nullptr);
}

int Win32AnsiCodePage::ToWide(const char* text, WideChar* out, int outUnits)
{
    return MultiByteToWideChar(CP_ACP, 0, text, -1, out, outUnits);
}
