// Stands in for the active registry while it lives and passes every call on
// to it; tests override the calls they watch.
#pragma once

#include "tree/registry_platform.h"

class RegistryPassThrough : public RegistryPlatform {
public:
    RegistryPassThrough() : inner_(ActiveRegistry) { ActiveRegistry = this; }
    ~RegistryPassThrough() override { ActiveRegistry = inner_; }
    RegistryPassThrough(const RegistryPassThrough&) = delete;
    RegistryPassThrough& operator=(const RegistryPassThrough&) = delete;

    RegistryKey OpenKey(RegistryKey parent, const char* path) override { return inner_->OpenKey(parent, path); }
    RegistryKey OpenKeyEx(RegistryKey parent, const char* path, uint32_t access) override
    {
        return inner_->OpenKeyEx(parent, path, access);
    }
    bool EnumKey(RegistryKey key, uint32_t index, char* name, uint32_t capacity) override
    {
        return inner_->EnumKey(key, index, name, capacity);
    }
    bool QueryValue(RegistryKey key, const char* name, void* buffer, uint32_t* size) override
    {
        return inner_->QueryValue(key, name, buffer, size);
    }
    void CloseKey(RegistryKey key) override { inner_->CloseKey(key); }

private:
    RegistryPlatform* inner_;
};
