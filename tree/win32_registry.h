// The registry operations of the lookups over the Win32 registry API.
#pragma once

#include "tree/registry_platform.h"

class Win32Registry : public RegistryPlatform {
public:
    RegistryKey OpenKey(RegistryKey parent, const char* path) override;
    RegistryKey OpenKeyEx(RegistryKey parent, const char* path, uint32_t access) override;
    bool EnumKey(RegistryKey key, uint32_t index, char* name, uint32_t capacity) override;
    bool QueryValue(RegistryKey key, const char* valueName, void* buffer, uint32_t* size) override;
    void CloseKey(RegistryKey key) override;
};
