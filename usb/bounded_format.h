// Bounded formatting with the behaviour of the platform's StringCchPrintfA.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kFormatOk = 0;
constexpr int32_t kFormatInvalidParameter = static_cast<int32_t>(0x80070057);
constexpr int32_t kFormatInsufficientBuffer = static_cast<int32_t>(0x8007007A);

#ifdef _WIN32
#include <strsafe.h>
#else
int32_t StringCchPrintfA(char* destination, size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
#endif
