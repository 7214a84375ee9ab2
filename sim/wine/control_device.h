// The simulated USB stack's control device, \\.\PortolanUsbControl: one
// I/O control per open, as the setup and the loader send them.
#pragma once

#include <windows.h>

#include "sim/kernel/control_codes.h"

inline bool ControlUsbStack(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize)
{
    HANDLE control =
        CreateFileA("\\\\.\\PortolanUsbControl", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(control, code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr);
    CloseHandle(control);
    return ok != FALSE;
}

inline bool ReadUsbStackStats(PortolanUsbStats* stats)
{
    return ControlUsbStack(IOCTL_PORTOLAN_STATS, nullptr, 0, stats, sizeof(*stats));
}
