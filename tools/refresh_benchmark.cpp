// Times refreshes of simulated PCs of growing size, 1 to 64 copies of the
// bundled office PC (2 to 128 host controllers) with 0 to 10,000 unrelated
// instance keys under Enum\USB, and counts what one refresh asks of the USB
// stack and the registry (the rules behind those counts are checked by
// tests/tree/request_count_test). Then PCs of 64 to 4,096 bare controllers
// (a 4-port root hub each, nothing plugged in): the stack's device opens
// must cost the same per controller at every size.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "sim/topology_loader.h"
#include "tree/topology_scan.h"
#include "usb/usb_records.h"

using namespace topology_builder;

namespace {

constexpr char kUsage[] = "usage: portolan-refresh-benchmark [--min-seconds S]";
constexpr char kEnumUsb[] = "System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kClassPath[] = "System\\CurrentControlSet\\Control\\Class\\";
constexpr char kOfficePc[] = PORTOLAN_SOURCE_DIR "/samples/office-pc.json";
constexpr char kWinUsbClass[] = "{88bae032-5a81-49f0-bc3d-a4ff138216d6}";
constexpr int kInstancesPerExtraDevice = 10;
constexpr int kMinRuns = 5;

const int kCopies[] = {1, 4, 16, 64};  // of the office PC: 2 to 128 controllers
const int kExtraInstanceCounts[] = {0, 100, 1000, 10000};
const int kBareControllerCounts[] = {64, 256, 1024, 4096};
const uint32_t kCodes[] = {
    IOCTL_USB_GET_NODE_INFORMATION,  // also the root hub name
    IOCTL_USB_GET_NODE_CONNECTION_INFORMATION,
    IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION,
    IOCTL_USB_GET_NODE_CONNECTION_NAME,
    IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME,
    IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX,
};

std::string Hex(uint32_t code)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%06X", code);
    return text;
}

// ---------------------------------------------------------------------------
// The simulated PC.

// Unrelated instance keys under Enum\USB, each naming a driver no port has.
void AddUnrelatedInstances(SimTopology& pc, int count)
{
    static const uint16_t vendors[] = {0x0BDA, 0x1058, 0x04E8, 0x0951, 0x2109, 0x05AC, 0x413C, 0x17EF};
    for (int i = 0; i < count; ++i) {
        const int device = i / kInstancesPerExtraDevice;
        char path[160];
        snprintf(path, sizeof(path), "%sVID_%04X&PID_%04X\\%d&%08x&0&%d", kEnumUsb, vendors[device % 8],
                 0x1000 + device, 5 + i % 3, 0x1a2b0000u + static_cast<unsigned>(i), 1 + i % 10);
        char driver[64];
        snprintf(driver, sizeof(driver), "%s\\%04d", kWinUsbClass, i);
        SimRegistryKey& key = SimRegistryPath(pc.localMachine, path);
        key.values["Driver"] = SimTextValue(driver);
        key.values["Service"] = SimTextValue("WINUSB");
    }
}

std::u16string Wide(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

// Appends the suffix to the name of every hub and to every driver key below.
void Rename(SimHub& hub, const std::string& suffix)
{
    hub.name += Wide(suffix);
    for (SimPort& port : hub.ports) {
        if (port.driverKey)
            *port.driverKey += Wide(suffix);
        if (port.hub)
            Rename(*port.hub, suffix);
    }
}

// The Class and Enum\USB keys of one copy, renamed with the suffix, go into
// the PC's registry.
void MergeDrivers(SimRegistryKey& into, SimRegistryKey& copy, const std::string& suffix)
{
    SimRegistryKey& control = SimRegistryPath(copy, "System\\CurrentControlSet\\Control\\Class");
    for (auto& classKey : control.subkeys)
        for (auto& instance : classKey->subkeys)
            SimRegistryPath(into, kClassPath + classKey->name + "\\" + instance->name + suffix).values =
                std::move(instance->values);
    SimRegistryKey& usb = SimRegistryPath(copy, "System\\CurrentControlSet\\Enum\\USB");
    for (auto& device : usb.subkeys)
        for (auto& instance : device->subkeys) {
            auto& values = SimRegistryPath(into, kEnumUsb + device->name + "\\" + instance->name + suffix).values;
            values = std::move(instance->values);
            if (values.count("Driver"))
                values["Driver"] = SimTextValue(reinterpret_cast<const char*>(values["Driver"].data()) + suffix);
        }
}

// The bundled office PC, copied: each copy's hub names, driver keys and keys
// carry a suffix of their own, so that each is opened and looked up on its
// own. The unrelated instance keys come first under Enum\USB.
SimTopology OfficePcs(const std::string& officePc, int copies, int extraInstances)
{
    SimTopology pc;
    AddUnrelatedInstances(pc, extraInstances);
    for (int copy = 0; copy < copies; ++copy) {
        SimTopology one;
        std::string error;
        if (!ParseTopology(officePc, kOfficePc, &one, &error)) {
            fprintf(stderr, "%s\n", error.c_str());
            exit(2);
        }
        const std::string suffix = "_" + std::to_string(copy);
        for (SimController& controller : one.controllers) {
            if (controller.rootHub)
                Rename(*controller.rootHub, suffix);
            pc.controllers.push_back(std::move(controller));
        }
        MergeDrivers(pc.localMachine, one.localMachine, suffix);
    }
    return pc;
}

using Counts = PlatformRequests;

// ---------------------------------------------------------------------------
// Running and reporting.

struct Row {
    int controllers = 0;
    int extraInstances = 0;
    size_t items = 0;
    int runs = 0;
    double medianMs = 0;
    Counts counts;
    size_t peakBytes = 0;
};

Row Measure(const std::string& officePc, int copies, int extraInstances, double minSeconds)
{
    using Clock = std::chrono::steady_clock;
    Row row;
    SimSession session(OfficePcs(officePc, copies, extraInstances));
    row.controllers = static_cast<int>(session.Topology().controllers.size());
    row.extraInstances = extraInstances;
    ShowUnusedPorts = 0;
    ShowUnusedControllers = 0;

    const auto firstStart = Clock::now();
    RefreshTree();
    const double first = std::chrono::duration<double>(Clock::now() - firstStart).count();
    row.counts = session.Requests();
    row.peakBytes = session.Memory().PeakBytes();
    row.items = session.Tree().ItemCount();

    row.runs = std::max(kMinRuns, static_cast<int>(std::ceil(minSeconds / std::max(first, 1e-9))));
    std::vector<double> times;
    times.reserve(static_cast<size_t>(row.runs));
    for (int run = 0; run < row.runs; ++run) {
        session.ResetCounters();
        const auto start = Clock::now();
        RefreshTree();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    const size_t middle = times.size() / 2;
    row.medianMs = times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    ClearTree();
    return row;
}

// Microseconds of one refresh per controller, for a PC of bare controllers.
double MicrosecondsPerController(int controllers)
{
    SimTopology topology;
    for (int i = 0; i < controllers; ++i)
        topology.controllers.push_back(
            topology_builder::ControllerWith("Controller", topology_builder::Hub("ROOT" + std::to_string(i), 4)));
    SimSession session(std::move(topology));
    std::vector<double> times;
    for (int run = 0; run < kMinRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        RefreshTree();
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    ClearTree();
    std::sort(times.begin(), times.end());
    return times[times.size() / 2] / controllers;
}

void PrintTable(const std::vector<Row>& rows)
{
    printf("One refresh of a simulated PC: median time, and what it asks (per refresh)\n\n");
    printf("%5s %7s %6s %6s %10s %8s", "ctrl", "extra", "items", "runs", "ms", "USB");
    for (uint32_t code : kCodes)
        printf(" %8s", Hex(code).c_str());
    printf(" %9s %6s %9s\n", "registry", "opens", "peak KiB");
    for (const Row& row : rows) {
        printf("%5d %7d %6zu %6d %10.3f %8llu", row.controllers, row.extraInstances, row.items, row.runs, row.medianMs,
               static_cast<unsigned long long>(row.counts.Usb()));
        for (uint32_t code : kCodes)
            printf(" %8llu", static_cast<unsigned long long>(row.counts.Ioctl(code)));
        printf(" %9llu %6llu %9.1f\n", static_cast<unsigned long long>(row.counts.registry),
               static_cast<unsigned long long>(row.counts.opens), row.peakBytes / 1024.0);
    }
    printf("\nctrl: host controllers, copies of samples/office-pc.json (7 devices, 2 hubs per copy);\n"
           "extra: unrelated instance keys under Enum\\USB, before the devices' own;\n"
           "0x220408 counts root hub names and node information (one code).\n");
}

}  // namespace

int main(int argc, char** argv)
{
    double minSeconds = 0.5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--min-seconds" && i + 1 < argc) {
            char* end = nullptr;
            minSeconds = strtod(argv[++i], &end);
            if (!end || *end || !(minSeconds >= 0)) {
                fprintf(stderr, "portolan-refresh-benchmark: bad --min-seconds; %s\n", kUsage);
                return 2;
            }
        } else if (arg == "--help" || arg == "-h") {
            printf("%s\n", kUsage);
            return 0;
        } else {
            fprintf(stderr, "portolan-refresh-benchmark: unknown argument %s; %s\n", arg.c_str(), kUsage);
            return 2;
        }
    }

    std::ifstream file(kOfficePc, std::ios::binary);
    const std::string officePc((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<Row> rows;
    bool ok = true;
    for (int extra : kExtraInstanceCounts)
        for (int copies : kCopies)
            rows.push_back(Measure(officePc, copies, extra, minSeconds));
    std::vector<std::pair<int, double>> bare;
    for (int controllers : kBareControllerCounts)
        bare.emplace_back(controllers, MicrosecondsPerController(controllers));
    // Linear: 64 times the controllers may cost at most 4 times as much per controller.
    if (bare.back().second > 4 * bare.front().second + 1.0) {
        fprintf(stderr, "bare controllers: %.1f us each at %d, %.1f at %d\n", bare.back().second, bare.back().first,
                bare.front().second, bare.front().first);
        ok = false;
    }
    PrintTable(rows);
    printf("\nBare controllers (a 4-port root hub each): microseconds of one refresh per controller\n");
    for (const auto& [controllers, microseconds] : bare)
        printf("%5d %8.2f\n", controllers, microseconds);
    return ok ? 0 : 1;
}
