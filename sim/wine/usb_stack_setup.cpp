// Installs the simulated USB stack into a Wine prefix: copies the driver
// to system32\drivers, registers service PortolanUsb (a kernel driver,
// started with the system) and a root-enumerated device ROOT\PORTOLANUSB
// whose service it is, then starts the service, whereupon the PnP manager
// gives the driver its device.
//
//   portolan-usb-setup.exe DRIVER.sys
#include <windows.h>

#include <setupapi.h>

#include <cstdio>
#include <string>

#include "sim/wine/control_device.h"

namespace {

constexpr char kService[] = "PortolanUsb";
constexpr char kHardwareId[] = "ROOT\\PORTOLANUSB\0";
// The system device class.
constexpr GUID kSystemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

int Fail(const char* step)
{
    fprintf(stderr, "portolan-usb-setup: %s failed, error %lu\n", step, GetLastError());
    return 1;
}

bool RootDeviceExists()
{
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "ROOT", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        char service[64] = {};
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE, nullptr, reinterpret_cast<BYTE*>(service),
                                              sizeof(service) - 1, nullptr))
            found = lstrcmpiA(service, kService) == 0;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

int CreateRootDevice()
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kSystemClass, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return Fail("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (!SetupDiCreateDeviceInfoA(set, "PORTOLANUSB", &kSystemClass, "Simulated USB stack", nullptr,
                                  DICD_GENERATE_ID, &device))
        return Fail("SetupDiCreateDeviceInfo");
    if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(kHardwareId),
                                           sizeof(kHardwareId)))
        return Fail("SPDRP_HARDWAREID");
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device))
        return Fail("DIF_REGISTERDEVICE");
    if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE, reinterpret_cast<const BYTE*>(kService),
                                           sizeof(kService)))
        return Fail("SPDRP_SERVICE");
    SetupDiDestroyDeviceInfoList(set);
    return 0;
}

bool WaitForBus()
{
    for (int i = 0; i < 1500; ++i) {
        PortolanUsbStats stats = {};
        if (ReadUsbStackStats(&stats) && stats.busStarted)
            return true;
        Sleep(20);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: portolan-usb-setup DRIVER.sys\n");
        return 2;
    }
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof(system));
    const std::string image = std::string(system) + "\\drivers\\portolanusb.sys";
    if (!CopyFileA(argv[1], image.c_str(), FALSE))
        return Fail("copying the driver");

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return Fail("OpenSCManager");
    SC_HANDLE service = OpenServiceA(manager, kService, SERVICE_ALL_ACCESS);
    if (!service)
        service = CreateServiceA(manager, kService, "Simulated USB stack", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                 SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr, nullptr,
                                 nullptr, nullptr);
    if (!service)
        return Fail("CreateService");
    if (!RootDeviceExists() && CreateRootDevice() != 0)
        return 1;
    // Wine's PnP manager may load the driver for the new root device on its
    // own; StartService then fails (error 1359) although the driver runs.
    const bool started = StartServiceA(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
    const DWORD startError = GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    // The PnP manager gives the driver its bus device after the service starts.
    if (!WaitForBus()) {
        if (!started) {
            SetLastError(startError);
            return Fail("StartService");
        }
        return Fail("waiting for the bus device to start");
    }
    printf("portolan-usb-setup: service %s running\n", kService);
    return 0;
}
