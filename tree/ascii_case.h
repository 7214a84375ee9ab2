// Comparison of names as _stricmp does in the default locale: only ASCII
// letters fold. Registry key names and device names compare this way.
#pragma once

#include <string>

inline int CompareIgnoringAsciiCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        auto ca = static_cast<unsigned char>(*a);
        auto cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<unsigned char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<unsigned char>(cb - 'A' + 'a');
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

// The name with its ASCII letters in lower case, as a key that compares so.
inline std::string FoldedAsciiCase(std::string name)
{
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}
