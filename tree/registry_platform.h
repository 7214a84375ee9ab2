// The registry operations the lookups need: RegOpenKeyA, RegOpenKeyExA,
// RegEnumKeyA, RegQueryValueExA and RegCloseKey, behind an interface so that
// the lookups can also run against a synthetic key tree.
#pragma once

#include <cstdint>

using RegistryKey = void*;

// HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE as the platform numbers them.
inline RegistryKey ClassesRootKey() { return reinterpret_cast<RegistryKey>(static_cast<intptr_t>(int32_t(0x80000000))); }
inline RegistryKey LocalMachineKey() { return reinterpret_cast<RegistryKey>(static_cast<intptr_t>(int32_t(0x80000002))); }

// Access rights as the platform numbers them.
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr uint32_t kKeyRead = 0x20019;

class RegistryPlatform {
public:
    virtual ~RegistryPlatform() = default;
    // Opens path relative to parent for reading; null on failure.
    virtual RegistryKey OpenKey(RegistryKey parent, const char* path) = 0;
    // RegOpenKeyExA: no options, the given access rights; null on failure.
    virtual RegistryKey OpenKeyEx(RegistryKey parent, const char* path, uint32_t access) = 0;
    // Name of subkey index into name (capacity bytes with terminator); false
    // past the last subkey or when the name does not fit.
    virtual bool EnumKey(RegistryKey key, uint32_t index, char* name, uint32_t capacity) = 0;
    // The value's bytes into buffer; size holds the buffer's size before and
    // the bytes stored after. False when absent or when it does not fit.
    virtual bool QueryValue(RegistryKey key, const char* valueName, void* buffer, uint32_t* size) = 0;
    virtual void CloseKey(RegistryKey key) = 0;
};

extern RegistryPlatform* ActiveRegistry;
