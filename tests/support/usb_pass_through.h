// Stands in for the active USB platform while it lives and passes every call
// on to it; tests override the calls they watch or change.
#pragma once

#include "usb/usb_platform.h"

class UsbPassThrough : public UsbPlatform {
public:
    UsbPassThrough() : inner_(ActiveUsbPlatform) { ActiveUsbPlatform = this; }
    ~UsbPassThrough() override { ActiveUsbPlatform = inner_; }
    UsbPassThrough(const UsbPassThrough&) = delete;
    UsbPassThrough& operator=(const UsbPassThrough&) = delete;

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

private:
    UsbPlatform* inner_;
};
