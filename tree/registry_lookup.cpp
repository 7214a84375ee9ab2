#include "tree/registry_lookup.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tree/ascii_case.h"
#include "tree/registry_platform.h"
#include "usb/zeroed_alloc.h"

RegistryPlatform* ActiveRegistry = nullptr;

namespace {

constexpr char kClassKey[] = "System\\CurrentControlSet\\Control\\Class";
constexpr char kUsbEnumKey[] = "System\\CurrentControlSet\\Enum\\USB";
constexpr uint32_t kKeyNameBytes = 100;
constexpr uint32_t kDriverValueBytes = 300;

// A "Driver" value counts as read only when it fits the buffer and ends in
// its terminator inside it.
bool ReadDriverValue(RegistryKey instance, char* value)
{
    uint32_t size = kDriverValueBytes;
    if (!ActiveRegistry->QueryValue(instance, "Driver", value, &size))
        return false;
    return size > 0 && size <= kDriverValueBytes && memchr(value, 0, size) != nullptr;
}

// Walks the instances of one device key; true with instanceName filled on a match.
bool FindMatchingInstance(RegistryKey deviceKey, const char* driverKeyName, char* instanceName)
{
    for (uint32_t j = 0;; ++j) {
        if (!ActiveRegistry->EnumKey(deviceKey, j, instanceName, kKeyNameBytes))
            return false;
        instanceName[kKeyNameBytes - 1] = 0;
        RegistryKey instance = ActiveRegistry->OpenKey(deviceKey, instanceName);
        if (!instance)
            continue;
        char value[kDriverValueBytes] = {};
        bool read = ReadDriverValue(instance, value);
        ActiveRegistry->CloseKey(instance);
        if (read && CompareIgnoringAsciiCase(value, driverKeyName) == 0)
            return true;
    }
}

}  // namespace

void ReadDriverDesc(const char* driverKeyName, char* description)
{
    RegistryKey classKey = ActiveRegistry->OpenKey(LocalMachineKey(), kClassKey);
    if (!classKey)
        return;
    RegistryKey driverKey = ActiveRegistry->OpenKey(classKey, driverKeyName);
    if (!driverKey) {
        ActiveRegistry->CloseKey(classKey);
        return;
    }
    // Read into a scratch buffer: a value that does not fit leaves the
    // platform's buffer undefined, so only a complete read is taken over,
    // and a value stored without terminator is cut to 199 characters.
    char scratch[kDriverDescBytes] = {};
    uint32_t size = kDriverDescBytes;
    if (ActiveRegistry->QueryValue(driverKey, "DriverDesc", scratch, &size)) {
        scratch[kDriverDescBytes - 1] = 0;
        memcpy(description, scratch, kDriverDescBytes);
    }
    ActiveRegistry->CloseKey(driverKey);
    ActiveRegistry->CloseKey(classKey);
}

char* FindPnpInstanceId(const char* driverKeyName)
{
    RegistryKey usbKey = ActiveRegistry->OpenKey(LocalMachineKey(), kUsbEnumKey);
    if (!usbKey)
        return nullptr;
    char deviceName[kKeyNameBytes] = {};
    char instanceName[kKeyNameBytes] = {};
    bool matched = false;
    for (uint32_t i = 0; !matched; ++i) {
        if (!ActiveRegistry->EnumKey(usbKey, i, deviceName, kKeyNameBytes))
            break;
        deviceName[kKeyNameBytes - 1] = 0;
        RegistryKey deviceKey = ActiveRegistry->OpenKey(usbKey, deviceName);
        if (!deviceKey)
            continue;
        matched = FindMatchingInstance(deviceKey, driverKeyName, instanceName);
        ActiveRegistry->CloseKey(deviceKey);
    }
    ActiveRegistry->CloseKey(usbKey);
    if (!matched)
        return nullptr;

    // Both names hold at most 99 characters: the text always fits.
    char text[kDriverValueBytes] = {};
    snprintf(text, sizeof(text), "USB\\%s\\%s", deviceName, instanceName);
    const size_t length = strlen(text);
    auto* result = static_cast<char*>(AllocZeroed(length + 1));
    if (!result)
        return nullptr;
    memcpy(result, text, length + 1);
    return result;
}
