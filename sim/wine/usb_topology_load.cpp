// The simulated USB stack in a Wine prefix: installs its driver and hands it
// topology files.
//
//   portolan-usb-load.exe --setup DRIVER.sys
//       copies the driver to system32\drivers, registers service PortolanUsb
//       (a kernel driver, started with the system) and a root-enumerated
//       device ROOT\PORTOLANUSB whose service it is, then starts the service,
//       whereupon the PnP manager gives the driver its bus device.
//   portolan-usb-load.exe TOPOLOGY.json
//       reads the file as portolan-report does (a broken one: its one-line
//       error, exit code 2), writes its registry entries into the prefix's
//       registry (replacing what the previous load wrote), loads the block
//       into the driver, waits until every device has started, and gives
//       each host controller its description.
//   portolan-usb-load.exe --plug|--unplug TOPOLOGY.json C/P[/P...]
//       plugs or unplugs the device of a port: controller C's root hub,
//       port P, and so on down the hubs.
//   portolan-usb-load.exe --replug TOPOLOGY.json C/P COUNT
//       unplugs and plugs the device of that port COUNT times, each time
//       waiting until the driver has removed or started it.
//   portolan-usb-load.exe --stats | --reset-stats
//       prints (as JSON) or clears what the driver was asked.
#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sim/flat_topology_writer.h"
#include "sim/wine/control_device.h"
#include "sim/wine/locked_key.h"
#include "sim/kernel/flat_topology.h"
#include "sim/kernel/usb_answers.h"
#include "sim/topology_loader.h"

namespace {

constexpr char kService[] = "PortolanUsb";
constexpr char kHardwareId[] = "ROOT\\PORTOLANUSB\0";
// The system device class.
constexpr GUID kSystemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr char kRecordFile[] = "C:\\windows\\temp\\portolan-usb-registry.txt";
constexpr GUID kHostControllerInterface = {0x3abf6f2d, 0x71c4, 0x462a, {0x8a, 0x92, 0x1e, 0x68, 0x61, 0xe6, 0xaf, 0x27}};

int Fail(const std::string& what)
{
    fprintf(stderr, "portolan-usb-load: %s (error %lu)\n", what.c_str(), GetLastError());
    return 1;
}

// ---- installing ----

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

// Reads the driver's counts every 20 ms for up to ms milliseconds until done(stats) holds.
template <typename Done>
bool WaitForStats(DWORD ms, PortolanUsbStats* stats, Done done)
{
    for (const DWORD start = GetTickCount(); !(ReadUsbStackStats(stats) && done(*stats)); Sleep(20))
        if (GetTickCount() - start > ms)
            return false;
    return true;
}

int SetupVerb(const char* driver)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof(system));
    const std::string image = std::string(system) + "\\drivers\\portolanusb.sys";
    if (!CopyFileA(driver, image.c_str(), FALSE))
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
    PortolanUsbStats stats = {};
    if (!WaitForStats(30000, &stats, [](const PortolanUsbStats& now) { return now.busStarted != 0; })) {
        if (!started) {
            SetLastError(startError);
            return Fail("StartService");
        }
        return Fail("waiting for the bus device to start");
    }
    printf("portolan-usb-load: service %s running\n", kService);
    return 0;
}

// ---- the registry entries ----

HKEY Root(const std::string& name)
{
    return name == "HKCR" ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

// Takes away what the previous load wrote: its values, then its keys, deepest first.
void UndoPreviousLoad()
{
    std::ifstream in(kRecordFile);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const std::string& line = *it;
        if (line.size() < 7)
            continue;
        const std::string root = line.substr(2, 4);
        const std::string rest = line.substr(7);
        if (line[0] == 'V') {
            const size_t tab = rest.find('\t');
            HKEY key = nullptr;
            if (tab != std::string::npos &&
                RegOpenKeyExA(Root(root), rest.substr(0, tab).c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, rest.substr(tab + 1).c_str());
                RegCloseKey(key);
            }
        } else if (line[0] == 'K') {
            RegDeleteTreeA(Root(root), rest.c_str());
            RegDeleteKeyA(Root(root), rest.c_str());
        }
    }
    DeleteFileA(kRecordFile);
}

// Notes what it writes, one line each: "K root path" for a key it created,
// "V root path\tname" for a value it set in a key that was there before.
void WriteKey(const std::string& rootName, const std::string& path, const SimRegistryKey& key,
              std::vector<std::string>& record)
{
    HKEY root = Root(rootName);
    if (!path.empty()) {
        HKEY handle = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, &disposition) !=
            ERROR_SUCCESS)
            return;
        const bool created = disposition == REG_CREATED_NEW_KEY;
        if (created)
            record.push_back("K " + rootName + " " + path);
        for (const auto& [name, bytes] : key.values) {
            // Text values (one terminator, at the end) as REG_SZ, the rest as bytes.
            const bool text = !bytes.empty() && bytes.back() == 0 &&
                              std::find(bytes.begin(), bytes.end() - 1, uint8_t{0}) == bytes.end() - 1;
            RegSetValueExA(handle, name.c_str(), 0, text ? REG_SZ : REG_BINARY, bytes.data(),
                           static_cast<DWORD>(bytes.size()));
            if (!created)
                record.push_back("V " + rootName + " " + path + "\t" + name);
        }
        RegCloseKey(handle);
    }
    for (const auto& sub : key.subkeys)
        WriteKey(rootName, path.empty() ? sub->name : path + "\\" + sub->name, *sub, record);
    if (!path.empty() && !key.openable)
        LockKey(root, path);
}

bool WriteRegistry(const SimTopology& topology)
{
    UndoPreviousLoad();
    std::vector<std::string> record;
    WriteKey("HKLM", "", topology.localMachine, record);
    WriteKey("HKCR", "", topology.classesRoot, record);
    std::ofstream out(kRecordFile);
    for (const std::string& line : record)
        out << line << "\n";
    return static_cast<bool>(out);
}

// ---- the controllers' descriptions ----

// SPDRP_DEVICEDESC is the "DeviceDesc" value of the device's key; a
// controller without a description has none.
void Describe(const SimTopology& topology, uint32_t generation)
{
    HDEVINFO set = SetupDiGetClassDevsA(&kHostControllerInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        char instance[256] = {};
        if (!SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof(instance), nullptr))
            continue;
        // PORTOLAN\HOST_CONTROLLER\GGGG&IIII
        unsigned deviceGeneration = 0;
        unsigned index = 0;
        const char* last = strrchr(instance, '\\');
        if (!last || sscanf(last + 1, "%u&%u", &deviceGeneration, &index) != 2 || deviceGeneration != generation ||
            index >= topology.controllers.size())
            continue;
        HKEY key = nullptr;
        const std::string path = std::string("System\\CurrentControlSet\\Enum\\") + instance;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            continue;
        const auto& description = topology.controllers[index].description;
        if (description)
            RegSetValueExA(key, "DeviceDesc", 0, REG_SZ, reinterpret_cast<const BYTE*>(description->c_str()),
                           static_cast<DWORD>(description->size() + 1));
        else
            RegDeleteValueA(key, "DeviceDesc");
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
}

// ---- loading ----

void Load(const char* file, SimTopology* topology)
{
    std::string error;
    if (!LoadTopologyFile(file, topology, &error)) {
        fprintf(stderr, "portolan-usb-load: %s\n", error.c_str());
        exit(2);
    }
}

// Waits until the driver has loaded the topology and started every device
// it makes now, and no other.
bool WaitUntilSettled(PortolanUsbStats* stats)
{
    if (WaitForStats(60000, stats, [](const PortolanUsbStats& now) {
            return now.loaded && now.started == now.expected && now.live == now.expected;
        }))
        return true;
    fprintf(stderr, "portolan-usb-load: %u of %u devices started after 60 s\n", stats->started, stats->expected);
    return false;
}

int LoadVerb(const char* file)
{
    SimTopology topology;
    Load(file, &topology);
    if (!WriteRegistry(topology))
        return Fail("writing the registry");
    const FlatTopology flat = FlattenTopology(topology);
    if (!ControlUsbStack(IOCTL_PORTOLAN_LOAD, flat.Data(), flat.Size(), nullptr, 0))
        return Fail("loading the driver");
    PortolanUsbStats stats = {};
    if (!WaitUntilSettled(&stats))
        return 1;
    Describe(topology, stats.generation);
    ControlUsbStack(IOCTL_PORTOLAN_RESET_STATS, nullptr, 0, nullptr, 0);
    printf("portolan-usb-load: %u devices\n", stats.expected);
    return 0;
}

// The port index behind "C/P/P...": controller C's root hub, its port P,
// the hub there and so on, as the flat block numbers ports.
bool PortIndex(const SimTopology& topology, const std::string& where, uint32_t* index)
{
    const FlatTopology flat = FlattenTopology(topology);
    const auto* header = reinterpret_cast<const FlatHeader*>(flat.Data());
    const auto* controllers = reinterpret_cast<const FlatController*>(flat.Data() + header->controllers);
    const auto* ports = reinterpret_cast<const FlatPort*>(flat.Data() + header->ports);
    char* at = nullptr;
    const unsigned long controller = strtoul(where.c_str(), &at, 10);
    uint32_t hub = controller < header->controllerCount ? controllers[controller].rootHub : FLAT_NONE;
    uint32_t port = FLAT_NONE;
    while (hub != FLAT_NONE && *at == '/') {
        port = FlatFindPort(flat.Data(), hub, static_cast<uint32_t>(strtoul(at + 1, &at, 10)));
        // A further step goes on through the hub plugged into this port.
        hub = port != FLAT_NONE && *at == '/' ? ports[port].hub : FLAT_NONE;
    }
    *index = port;
    return port != FLAT_NONE && *at == 0;
}

// Plugs or unplugs the device of a port (replugs -1), or unplugs and plugs
// it replugs times, each time waiting until the driver has removed or
// started it.
int PlugVerb(const char* file, const char* where, bool plug, int replugs)
{
    SimTopology topology;
    Load(file, &topology);
    uint32_t index = 0;
    if (!PortIndex(topology, where, &index)) {
        fprintf(stderr, "portolan-usb-load: no port %s\n", where);
        return 2;
    }
    if (replugs < 0)
        return ControlUsbStack(plug ? IOCTL_PORTOLAN_PLUG : IOCTL_PORTOLAN_UNPLUG, &index, sizeof(index), nullptr, 0)
                   ? 0
                   : Fail(plug ? "plugging" : "unplugging");
    PortolanUsbStats stats = {};
    for (int i = 0; i < replugs; ++i)
        for (DWORD code : {IOCTL_PORTOLAN_UNPLUG, IOCTL_PORTOLAN_PLUG})
            if (!ControlUsbStack(code, &index, sizeof(index), nullptr, 0) || !WaitUntilSettled(&stats))
                return Fail("replugging");
    return 0;
}

int StatsVerb()
{
    PortolanUsbStats stats = {};
    if (!ReadUsbStackStats(&stats))
        return Fail("reading the driver's counts");
    printf("{\"ioctl\": {");
    bool first = true;
    for (const auto& entry : stats.ioctl) {
        if (!entry.code)
            continue;
        printf("%s\"0x%06X\": %u", first ? "" : ", ", entry.code, entry.count);
        first = false;
    }
    printf("}, \"opens\": %u, \"open_failures\": %u, \"closes\": %u, \"open_handles\": %u, \"cycles\": %u, "
           "\"last_cycle\": {\"hub\": %u, \"port\": %u, \"in\": %u, \"out\": %u}, \"started\": %u, \"expected\": %u, "
           "\"removed\": %u}\n",
           stats.opens, stats.openFailures, stats.closes, stats.openHandles, stats.cycles, stats.lastCycleHub,
           stats.lastCyclePort, stats.lastCycleIn, stats.lastCycleOut, stats.started, stats.expected, stats.removed);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string verb = argc > 1 ? argv[1] : "";
    if (argc == 3 && verb == "--setup")
        return SetupVerb(argv[2]);
    if (argc == 2 && verb == "--stats")
        return StatsVerb();
    if (argc == 2 && verb == "--reset-stats")
        return ControlUsbStack(IOCTL_PORTOLAN_RESET_STATS, nullptr, 0, nullptr, 0) ? 0 : Fail("resetting the counts");
    if (argc == 4 && (verb == "--plug" || verb == "--unplug"))
        return PlugVerb(argv[2], argv[3], verb == "--plug", -1);
    if (argc == 5 && verb == "--replug" && atoi(argv[4]) >= 0)
        return PlugVerb(argv[2], argv[3], true, atoi(argv[4]));
    if (argc == 2 && verb[0] != '-')
        return LoadVerb(argv[1]);
    fprintf(stderr, "usage: portolan-usb-load --setup DRIVER.sys | TOPOLOGY.json | "
                    "--plug|--unplug TOPOLOGY.json C/P[/P...] | --replug TOPOLOGY.json C/P[/P...] COUNT | "
                    "--stats | --reset-stats\n");
    return 2;
}
