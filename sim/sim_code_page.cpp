#include "sim/sim_code_page.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "sim/cp1252_best_fit_table.h"

namespace {

// Bytes 0x80..0x9F of code page 1252; 0 where the byte maps to the C1 control
// of the same number (0x81, 0x8D, 0x8F, 0x90, 0x9D).
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char16_t UnitFromCp1252(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0 && kHighControls[byte - 0x80])
        return kHighControls[byte - 0x80];
    return byte;
}


bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

}  // namespace

char Cp1252FromUnit(char16_t unit)
{
    const Cp1252Mapping* end = kCp1252Exceptions + kCp1252ExceptionCount;
    const Cp1252Mapping* found = std::lower_bound(
        kCp1252Exceptions, end, unit, [](const Cp1252Mapping& entry, char16_t wanted) { return entry.unit < wanted; });
    if (found != end && found->unit == unit)
        return static_cast<char>(found->byte);
    return unit < 0x100 ? static_cast<char>(unit) : '?';
}

std::string Cp1252FromUtf16(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text)
        out += Cp1252FromUnit(unit);
    return out;
}

bool Cp1252Holds(char16_t unit)
{
    return UnitFromCp1252(static_cast<unsigned char>(Cp1252FromUnit(unit))) == unit;
}

int Cp1252CodePage::FromWide(const WideChar* text, int units, char* out, int outBytes)
{
    if (!text || outBytes < 0 || units == 0 || units < -1)
        return 0;
    // With units -1 the terminator belongs to the text.
    size_t count = 0;
    if (units == -1) {
        while (text[count])
            ++count;
        ++count;
    } else {
        count = static_cast<size_t>(units);
    }
    // One byte per character; a surrogate pair is one character.
    std::string converted;
    for (size_t i = 0; i < count; ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < count && IsLowSurrogate(text[i + 1])) {
            converted += '?';
            ++i;
            continue;
        }
        converted += text[i] == 0 ? '\0' : Cp1252FromUnit(text[i]);
    }
    const int needed = static_cast<int>(converted.size());
    if (outBytes == 0)
        return needed;
    if (outBytes < needed)
        return 0;
    memcpy(out, converted.data(), converted.size());
    return needed;
}

std::u16string Utf8ToUtf16(const std::string& text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length && i + k < text.size(); ++k)
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += length;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10 & 0x3FF));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

int Cp1252CodePage::ToWide(const char* text, WideChar* out, int outUnits)
{
    const int units = static_cast<int>(strlen(text)) + 1;
    if (outUnits == 0)
        return units;
    if (outUnits < units)
        return 0;
    for (int i = 0; i < units; ++i)
        out[i] = static_cast<WideChar>(UnitFromCp1252(static_cast<unsigned char>(text[i])));
    return units;
}
