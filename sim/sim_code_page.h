// Windows code page 1252 as WideCharToMultiByte converts to it with no flags
// and no default character: best-fit where Windows has one, else '?'.
#pragma once

#include <cstdint>
#include <string>

#include "usb/usb_platform.h"

class Cp1252CodePage : public AnsiCodePage {
public:
    int FromWide(const WideChar* text, int units, char* out, int outBytes) override;
    int ToWide(const char* text, WideChar* out, int outUnits) override;
};

// Byte of code page 1252 for one UTF-16 unit: its own, a best fit, or '?'.
char Cp1252FromUnit(char16_t unit);
// UTF-16 text in code page 1252, unit by unit as Cp1252FromUnit gives it.
std::string Cp1252FromUtf16(const std::u16string& text);
// Whether code page 1252 has a byte for the unit itself, not a best fit.
bool Cp1252Holds(char16_t unit);
// Well-formed UTF-8 (as the JSON parser passes it) as UTF-16, for topology files.
std::u16string Utf8ToUtf16(const std::string& text);
