#include "usb/win32_code_page.h"

#include <windows.h>

int Win32AnsiCodePage::FromWide(const WideChar* text, int units, char* out, int outBytes)
{
    return WideCharToMultiByte(CP_ACP, 0, text, units, out, outBytes, nullptr, nullptr);
}
