#include "usb/bounded_format.h"

#ifndef _WIN32
#include <cstdarg>
#include <cstdio>

int32_t StringCchPrintfA(char* destination, size_t capacity, const char* format, ...)
{
    if (capacity == 0 || capacity > 0x7FFFFFFF)
        return kFormatInvalidParameter;
    va_list args;
    va_start(args, format);
    // vsnprintf writes at most capacity - 1 characters and the terminator;
    // its result is the length the whole text would have had.
    int needed = vsnprintf(destination, capacity, format, args);
    va_end(args);
    if (needed < 0) {
        destination[0] = 0;
        return kFormatInvalidParameter;
    }
    return static_cast<size_t>(needed) >= capacity ? kFormatInsufficientBuffer : kFormatOk;
}
#endif
