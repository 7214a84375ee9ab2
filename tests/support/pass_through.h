// Stand-ins for the active USB stack and registry: while one lives it is the
// active platform and passes every call on to the one before it; tests
// override the calls they watch or change.
#pragma once

#include "tree/registry_platform.h"
#include "usb/usb_platform.h"

// Makes the derived Platform the active one while it lives.
template <typename Platform, Platform*& Active>
class StandIn : public Platform {
public:
    StandIn() : inner_(Active) { Active = this; }
    ~StandIn() override { Active = inner_; }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

protected:
    Platform* inner_;
};

class UsbPassThrough : public StandIn<UsbPlatform, ActiveUsbPlatform> {
public:
    ControllerSet OpenControllerSet() override { return inner_->OpenControllerSet(); }
    bool EnumController(ControllerSet set, uint32_t i) override { return inner_->EnumController(set, i); }
    uint32_t ControllerPathSize(ControllerSet set, uint32_t i) override { return inner_->ControllerPathSize(set, i); }
    const char* ControllerPath(ControllerSet set, uint32_t i, void* buffer, uint32_t size) override
    {
        return inner_->ControllerPath(set, i, buffer, size);
    }
    bool ControllerDescription(ControllerSet set, uint32_t i, char* buffer, uint32_t size) override
    {
        return inner_->ControllerDescription(set, i, buffer, size);
    }
    void CloseControllerSet(ControllerSet set) override { inner_->CloseControllerSet(set); }
    DeviceHandle OpenDevice(const char* path) override { return inner_->OpenDevice(path); }
    bool IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* returned) override
    {
        return inner_->IoControl(handle, code, in, inSize, out, outSize, returned);
    }
    void CloseDevice(DeviceHandle handle) override { inner_->CloseDevice(handle); }
};

class RegistryPassThrough : public StandIn<RegistryPlatform, ActiveRegistry> {
public:
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
};
