// The USB platform over SetupAPI and the USB host-controller and hub drivers.
#pragma once

#include "usb/usb_platform.h"

#include <windows.h>
#include <setupapi.h>

class Win32UsbPlatform : public UsbPlatform {
public:
    ControllerSet OpenControllerSet() override;
    bool EnumController(ControllerSet set, uint32_t index) override;
    uint32_t ControllerPathSize(ControllerSet set, uint32_t index) override;
    const char* ControllerPath(ControllerSet set, uint32_t index, void* buffer, uint32_t size) override;
    bool ControllerDescription(ControllerSet set, uint32_t index, char* buffer, uint32_t size) override;
    void CloseControllerSet(ControllerSet set) override;

    DeviceHandle OpenDevice(const char* path) override;
    bool IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* bytesReturned) override;
    void CloseDevice(DeviceHandle handle) override;

private:
    // The device of the index last enumerated, or re-read when another is asked for.
    bool SelectDevice(ControllerSet set, uint32_t index);
    bool ReadInterface(ControllerSet set, uint32_t index, SP_DEVICE_INTERFACE_DATA* interfaceData);

    ControllerSet currentSet_ = nullptr;
    uint32_t currentIndex_ = 0;
    bool haveDevice_ = false;
    SP_DEVINFO_DATA device_ = {};
};
