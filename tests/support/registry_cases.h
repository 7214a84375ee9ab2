// The registry lookups' cases, run by the native tests on the simulated
// registry and under Wine on the real one: keys made in the order given
// (the registry lists subkeys sorted, and so are the names here), then one
// lookup. Texts are in code page 1252.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tree/registry_lookup.h"

namespace registry_cases {

constexpr char kDriverKey[] = "{36fc9e60-c465-11cf-8056-444553540000}\\0012";

enum class Make {
    Text,          // the value as a terminated string
    Unterminated,  // the same without its terminator
    OtherName,     // the text under another value name
    Missing,       // the key without the value
    Locked,        // the key with the text, not to be opened
    LockedParent,  // the key's parent is not to be opened (the key gets the text)
};

// A key below Enum\USB ("DEVICE\INSTANCE") with its "Driver" value.
struct UsbKey {
    std::string path;
    Make make;
    std::string driver;
};

struct InstanceIdCase {
    const char* what;
    std::vector<UsbKey> keys;
    std::string find;
    std::string expected;  // "USB\DEVICE\INSTANCE", or empty: none
};

inline std::vector<InstanceIdCase> InstanceIdCases()
{
    const std::string k = kDriverKey;
    const std::string long99(99, 'a'), long100 = "0" + std::string(99, 'i');
    return {
        {"no match", {{"A\\1", Make::Text, "{other}"}}, k, ""},
        {"ASCII letters fold", {{"A\\1", Make::Text, "{36FC9E60-C465-11CF-8056-444553540000}\\0012"}}, k, "USB\\A\\1"},
        {"other letters do not", {{"A\\1", Make::Text, "{k}\\\xC4"}}, "{k}\\\xE4", ""},
        {"listing order",
         {{"A\\1", Make::Text, "{other}\\0001"}, {"A\\2", Make::Text, k}, {"B\\1", Make::Text, k}}, k, "USB\\A\\2"},
        {"first of two instances of one device key", {{"A\\1", Make::Text, k}, {"A\\2", Make::Text, k}}, k, "USB\\A\\1"},
        {"device key that cannot be opened", {{"A\\1", Make::LockedParent, k}, {"B\\7", Make::Text, k}}, k, "USB\\B\\7"},
        {"instances that cannot be opened, name another key or none",
         {{"A\\1", Make::Locked, k}, {"A\\2", Make::Text, "{other}\\0001"}, {"A\\3", Make::Missing, ""},
          {"A\\4", Make::Text, k}},
         k, "USB\\A\\4"},
        {"no Driver value after one that does not match", {{"A\\1", Make::Text, k + "x"}, {"A\\2", Make::Missing, ""}},
         k, ""},
        {"Driver values that do not fit or lack the terminator",
         {{"A\\1", Make::Text, k + std::string(300, ' ')}, {"A\\2", Make::Unterminated, k}, {"A\\3", Make::Text, k}}, k,
         "USB\\A\\3"},
        {"Driver value of 299 characters", {{"B\\1", Make::Text, std::string(299, 'k')}}, std::string(299, 'k'),
         "USB\\B\\1"},
        {"instance key name of 100 characters ends only its device",
         {{"A\\" + long100, Make::Text, "{other}"}, {"A\\2", Make::Text, k}, {"B\\3", Make::Text, k}}, k, "USB\\B\\3"},
        {"device key name of 99 characters", {{long99 + "\\1", Make::Text, "{other}"}, {"B\\1", Make::Text, k}}, k,
         "USB\\B\\1"},
        {"device key name of 100 characters ends the search",
         {{long99 + "a\\1", Make::Text, "{other}"}, {"B\\1", Make::Text, k}}, k, ""},
    };
}

// A key below Control\Class with its "DriverDesc" value, read into a buffer
// of 200 bytes that held something before.
struct DescriptionCase {
    const char* what;
    std::string key;
    Make make;
    std::string text;
    size_t read;  // characters that land in the buffer, the rest zeros; 0: left as it was
};

inline std::vector<DescriptionCase> DescriptionCases()
{
    const std::string k = kDriverKey;
    return {
        {"a description", k, Make::Text, "USB-Massenspeicherger\xE4t", 23},
        {"199 characters in full", k, Make::Text, std::string(199, 'd'), 199},
        {"200 characters leave the buffer", k, Make::Text, std::string(200, 'd'), 0},
        {"200 characters without terminator cut to 199", k, Make::Unterminated, std::string(200, 'u'), 199},
        {"a driver key of three names", "{a}\\b\\c", Make::Text, "deep", 4},
        {"another value's text", k, Make::OtherName, "x", 0},
        {"no value", k, Make::Missing, "", 0},
        {"a key that cannot be opened", "{k}\\0001", Make::Locked, "x", 0},
    };
}

// The description buffer as a caller leaves it before the read: text and
// leftovers; and as the case expects it after.
inline std::string BufferBefore()
{
    std::string buffer(kDriverDescBytes, '~');
    return buffer.replace(0, 7, "vorher\0", 7);
}
inline std::string BufferAfter(const DescriptionCase& c)
{
    if (!c.read)
        return BufferBefore();
    return c.text.substr(0, c.read) + std::string(kDriverDescBytes - c.read, '\0');
}

}  // namespace registry_cases
