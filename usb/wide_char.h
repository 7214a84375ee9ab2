// One UTF-16 code unit as the USB stack returns names and strings.
#pragma once

#ifdef _WIN32
#include <windows.h>
using WideChar = WCHAR;
#else
using WideChar = char16_t;
#endif
