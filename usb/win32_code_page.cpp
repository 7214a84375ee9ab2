#include "usb/win32_code_page.h"

#include <windows.h>

#include <string>

int Win32AnsiCodePage::FromWide(const WideChar* text, int units, char* out, int outBytes)
{
    return WideCharToMultiByte(CP_ACP, 0, text, units, out, outBytes, nullptr, nullptr);
}

std::string Win32AnsiCodePage::ToUtf8(const char* text)
{
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}
