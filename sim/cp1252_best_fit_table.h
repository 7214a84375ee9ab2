// Where WideCharToMultiByte(1252, 0, ...) gives a unit neither its own value
// (U+0000 to U+00FF) nor '?': the euro sign and the other characters of
// 0x80 to 0x9F, the units of that range that have no byte, and Windows'
// best-fit mappings (U+0100 -> 'A'). Sorted by unit.
#pragma once

#include <cstddef>
#include <cstdint>

struct Cp1252Mapping {
    char16_t unit;
    uint8_t byte;
};

extern const Cp1252Mapping kCp1252Exceptions[];
extern const size_t kCp1252ExceptionCount;
