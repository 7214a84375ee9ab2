// The system's own thin layer over the USB driver interface.
// Every text result is a new zero-filled block the caller releases.
#pragma once

#include <cstdint>

#include "usb/usb_platform.h"
#include "usb/wide_char.h"

DeviceHandle OpenHubByName(const char* hubName);
char* GetRootHubName(DeviceHandle controller);
char* GetExternalHubName(DeviceHandle hub, uint32_t port);
char* GetDriverKeyName(DeviceHandle hub, uint32_t port);
int CyclePort(DeviceHandle hub, uint32_t port);
char* WideToAnsi(const WideChar* text);

// Thin forwarding to the active platform.
bool HubIoControl(DeviceHandle handle, uint32_t code, void* buffer, uint32_t size, uint32_t* bytesReturned);
void CloseDeviceHandle(DeviceHandle handle);
