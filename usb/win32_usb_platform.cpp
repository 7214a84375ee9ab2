#include "usb/win32_usb_platform.h"

#ifdef UNICODE
#error "Portolan calls the ANSI entry points; build without UNICODE."
#endif

#ifdef _WIN64
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8);
#else
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);
#endif

namespace {

// GUID_DEVINTERFACE_USB_HOST_CONTROLLER (usbiodef.h).
constexpr GUID kHostControllerInterface = {
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};

HDEVINFO AsDeviceInfo(ControllerSet set)
{
    return static_cast<HDEVINFO>(set);
}

}  // namespace

ControllerSet Win32UsbPlatform::OpenControllerSet()
{
    HDEVINFO set =
        SetupDiGetClassDevsA(&kHostControllerInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    haveDevice_ = false;
    currentSet_ = nullptr;
    if (set == INVALID_HANDLE_VALUE)
        return nullptr;
    return set;
}

bool Win32UsbPlatform::SelectDevice(ControllerSet set, uint32_t index)
{
    if (haveDevice_ && currentSet_ == set && currentIndex_ == index)
        return true;
    haveDevice_ = false;
    device_ = {};
    device_.cbSize = sizeof(SP_DEVINFO_DATA);
    if (!SetupDiEnumDeviceInfo(AsDeviceInfo(set), index, &device_))
        return false;
    currentSet_ = set;
    currentIndex_ = index;
    haveDevice_ = true;
    return true;
}

bool Win32UsbPlatform::EnumController(ControllerSet set, uint32_t index)
{
    haveDevice_ = false;
    return SelectDevice(set, index);
}

bool Win32UsbPlatform::ReadInterface(ControllerSet set, uint32_t index, SP_DEVICE_INTERFACE_DATA* interfaceData)
{
    if (!SelectDevice(set, index))
        return false;
    *interfaceData = {};
    interfaceData->cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    return SetupDiEnumDeviceInterfaces(AsDeviceInfo(set), &device_, &kHostControllerInterface, 0, interfaceData) !=
           FALSE;
}

uint32_t Win32UsbPlatform::ControllerPathSize(ControllerSet set, uint32_t index)
{
    SP_DEVICE_INTERFACE_DATA interfaceData;
    if (!ReadInterface(set, index, &interfaceData))
        return 0;
    // Asked without a buffer the call fails with ERROR_INSUFFICIENT_BUFFER
    // and reports the size the detail record needs.
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(AsDeviceInfo(set), &interfaceData, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return 0;
    return required;
}

const char* Win32UsbPlatform::ControllerPath(ControllerSet set, uint32_t index, void* buffer, uint32_t size)
{
    if (!buffer || size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return nullptr;
    SP_DEVICE_INTERFACE_DATA interfaceData;
    if (!ReadInterface(set, index, &interfaceData))
        return nullptr;
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    // The size of the fixed part: 5 on 32-bit Windows, 8 on 64-bit.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    DWORD required = 0;
    if (!SetupDiGetDeviceInterfaceDetailA(AsDeviceInfo(set), &interfaceData, detail, size, &required, nullptr))
        return nullptr;
    return detail->DevicePath;
}

bool Win32UsbPlatform::ControllerDescription(ControllerSet set, uint32_t index, char* buffer, uint32_t size)
{
    if (!SelectDevice(set, index))
        return false;
    DWORD required = 0;
    return SetupDiGetDeviceRegistryPropertyA(AsDeviceInfo(set), &device_, SPDRP_DEVICEDESC, nullptr,
                                             reinterpret_cast<BYTE*>(buffer), size, &required) != FALSE;
}

void Win32UsbPlatform::CloseControllerSet(ControllerSet set)
{
    if (set == currentSet_) {
        haveDevice_ = false;
        currentSet_ = nullptr;
    }
    if (set)
        SetupDiDestroyDeviceInfoList(AsDeviceInfo(set));
}

DeviceHandle Win32UsbPlatform::OpenDevice(const char* path)
{
    // INVALID_HANDLE_VALUE is InvalidDeviceHandle().
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool Win32UsbPlatform::IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out,
                                 uint32_t outSize, uint32_t* bytesReturned)
{
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(handle, code, in, inSize, out, outSize, &returned, nullptr);
    if (bytesReturned)
        *bytesReturned = returned;
    return ok != FALSE;
}

void Win32UsbPlatform::CloseDevice(DeviceHandle handle)
{
    CloseHandle(handle);
}
