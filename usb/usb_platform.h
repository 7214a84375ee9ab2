// The platform's USB driver interface as the system sees it: host-controller
// enumeration, opening a device path, one I/O control, closing a handle.
// The Win32 build talks to SetupAPI and the drivers; the native build to the
// simulated stack.
#pragma once

#include <cstdint>

#include "usb/wide_char.h"

using DeviceHandle = void*;
using ControllerSet = void*;

// INVALID_HANDLE_VALUE, also in the native build.
inline DeviceHandle InvalidDeviceHandle() { return reinterpret_cast<DeviceHandle>(static_cast<intptr_t>(-1)); }

class UsbPlatform {
public:
    virtual ~UsbPlatform() = default;

    // SetupDiGetClassDevsA for present host-controller interfaces; null: no set.
    virtual ControllerSet OpenControllerSet() = 0;
    // SetupDiEnumDeviceInfo: false ends the enumeration.
    virtual bool EnumController(ControllerSet set, uint32_t index) = 0;
    // Interface 0 of the device and the size of its detail record; 0 on failure.
    virtual uint32_t ControllerPathSize(ControllerSet set, uint32_t index) = 0;
    // Fills the zero-filled buffer of that size; returns the device path inside it, or null.
    virtual const char* ControllerPath(ControllerSet set, uint32_t index, void* buffer, uint32_t size) = 0;
    // SPDRP_DEVICEDESC into the buffer; false when it cannot be read or does not fit.
    virtual bool ControllerDescription(ControllerSet set, uint32_t index, char* buffer, uint32_t size) = 0;
    // SetupDiDestroyDeviceInfoList.
    virtual void CloseControllerSet(ControllerSet set) = 0;

    // CreateFileA with GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING; InvalidDeviceHandle() on failure.
    virtual DeviceHandle OpenDevice(const char* path) = 0;
    // DeviceIoControl, synchronous; false on failure.
    virtual bool IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out,
                           uint32_t outSize, uint32_t* bytesReturned) = 0;
    // CloseHandle.
    virtual void CloseDevice(DeviceHandle handle) = 0;
};

// WideCharToMultiByte(CP_ACP, 0, text, units, out, outBytes, nullptr, nullptr).
class AnsiCodePage {
public:
    virtual ~AnsiCodePage() = default;
    // units -1: the text ends at its terminator, which is converted too.
    // Bytes written, or with outBytes 0 the bytes needed; 0 on failure or
    // when the result does not fit.
    virtual int FromWide(const WideChar* text, int units, char* out, int outBytes) = 0;
    // Terminated ANSI text to UTF-16 as MultiByteToWideChar converts it:
    // units written with the terminator, with outUnits 0 the units needed.
    virtual int ToWide(const char* text, WideChar* out, int outUnits) = 0;
};

// The platform in use; set once at start-up (or by a test).
extern UsbPlatform* ActiveUsbPlatform;
extern AnsiCodePage* ActiveCodePage;
