// Times refreshes of simulated PCs of growing size, 1 to 16 fully populated
// host controllers with 0 to 10,000 unrelated instance keys under Enum\USB,
// and counts what one refresh asks of the USB stack and the registry (the
// rules behind those counts are checked by tests/tree/request_count_test).
// Then PCs of 64 to 4,096 bare
// controllers (a 4-port root hub each, nothing plugged in): the stack's
// device opens must cost the same per controller at every size.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tree/topology_scan.h"
#include "usb/usb_records.h"

using namespace topology_builder;

namespace {

constexpr char kUsage[] = "usage: portolan-refresh-benchmark [--json] [--min-seconds S]";
constexpr char kEnumUsb[] = "System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kHubInterface[] = "#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
constexpr char kUsbClass[] = "{36fc9e60-c465-11cf-8056-444553540000}";
constexpr char kHidClass[] = "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}";
constexpr char kPortsClass[] = "{4d36e978-e325-11ce-bfc1-08002be10318}";
constexpr char kImageClass[] = "{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
constexpr char kWinUsbClass[] = "{88bae032-5a81-49f0-bc3d-a4ff138216d6}";
constexpr int kInstancesPerExtraDevice = 10;
constexpr int kMinRuns = 5;
constexpr uint16_t kEnglish = 0x0409;
constexpr uint16_t kGerman = 0x0407;

const int kControllerCounts[] = {1, 2, 4, 8, 16};
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

std::u16string Wide(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

// ---------------------------------------------------------------------------
// The simulated PC.

std::vector<uint8_t> HidDescriptor(uint8_t reportLength)
{
    return {9, 0x21, 0x11, 0x01, 0, 1, 0x22, reportLength, 0};
}

// Isochronous audio endpoint as USB Audio 1.0 lays it out: 9 bytes.
std::vector<uint8_t> AudioEndpoint(uint8_t address, uint16_t maxPacket)
{
    return {9, 5, address, 0x09, static_cast<uint8_t>(maxPacket & 0xFF), static_cast<uint8_t>(maxPacket >> 8), 1, 0, 0};
}

std::vector<uint8_t> Association(uint8_t first, uint8_t count, uint8_t functionClass)
{
    return {8, 0x0B, first, count, functionClass, 0, 0, 0};
}

enum class Kind { Keyboard, Mouse, Headset, Stick, Webcam, Serial, Hub };

struct KindFacts {
    uint16_t vendor;
    uint16_t product;
    const char* classGuid;
    const char* description;
};

KindFacts FactsOf(Kind kind)
{
    switch (kind) {
    case Kind::Keyboard: return {0x046D, 0xC31C, kUsbClass, "USB Composite Device"};
    case Kind::Mouse: return {0x046D, 0xC077, kHidClass, "USB Input Device"};
    case Kind::Headset: return {0x1395, 0x0025, kUsbClass, "USB Composite Device"};
    case Kind::Stick: return {0x0781, 0x5567, kUsbClass, "USB Mass Storage Device"};
    case Kind::Webcam: return {0x046D, 0x0825, kImageClass, "Logitech Webcam C270"};
    case Kind::Serial: return {0x067B, 0x2303, kPortsClass, "Prolific USB-to-Serial Comm Port"};
    case Kind::Hub: return {0x1A40, 0x0201, kUsbClass, "Generic USB Hub"};
    }
    return {};
}

void SetStrings(SimPort& port, const std::map<uint8_t, std::pair<std::u16string, std::u16string>>& strings)
{
    port.languages = {kEnglish, kGerman};
    port.hasLanguageList = true;
    for (const auto& [index, texts] : strings) {
        port.strings[index][kEnglish] = texts.first;
        if (!texts.second.empty())
            port.strings[index][kGerman] = texts.second;
    }
}

// Descriptors, strings and pipes of one kind of device on a port.
SimPort DeviceOf(Kind kind, uint32_t number)
{
    const KindFacts facts = FactsOf(kind);
    SimPort port = Device(number, facts.vendor, facts.product, "", 1);
    switch (kind) {
    case Kind::Keyboard:
        port.speed = 0;
        port.deviceDescriptor = DeviceDescriptor(facts.vendor, facts.product, 1, 2);
        port.configDescriptors = {ConfigSet({Interface(0, 1, 3), HidDescriptor(63), Endpoint(0x81, 3, 8, 10),
                                             Interface(1, 1, 3), HidDescriptor(52), Endpoint(0x82, 3, 4, 255)},
                                            0, 2)};
        SetStrings(port, {{1, {u"Logitech", u"Logitech"}}, {2, {u"USB Keyboard", u"USB-Tastatur"}}});
        break;
    case Kind::Mouse:
        port.speed = 0;
        port.deviceDescriptor = DeviceDescriptor(facts.vendor, facts.product, 1, 2);
        port.configDescriptors = {ConfigSet({Interface(0, 1, 3), HidDescriptor(52), Endpoint(0x81, 3, 4, 10)})};
        SetStrings(port, {{1, {u"Logitech", u"Logitech"}}, {2, {u"USB Optical Mouse", u"Optische USB-Maus"}}});
        break;
    case Kind::Headset:
        port.deviceDescriptor = DeviceDescriptor(facts.vendor, facts.product, 1, 2, 3);
        port.configDescriptors = {ConfigSet(
            {Interface(0, 0, 1), {10, 0x24, 0x01, 0x00, 0x01, 0x48, 0x00, 0x02, 0x01, 0x02},
             {12, 0x24, 0x02, 0x01, 0x01, 0x01, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00},
             Interface(1, 0, 1), Interface(1, 1, 1, 0, 1), {7, 0x24, 0x01, 0x01, 0x01, 0x01, 0x00},
             AudioEndpoint(0x01, 192), Interface(2, 0, 1), Interface(2, 1, 1, 0, 1),
             {7, 0x24, 0x01, 0x02, 0x01, 0x01, 0x00}, AudioEndpoint(0x82, 96), Interface(3, 1, 3, 4),
             HidDescriptor(37), Endpoint(0x83, 3, 16, 32)},
            0, 4)};
        SetStrings(port, {{1, {u"Sennheiser Communications", u"Sennheiser Communications"}},
                          {2, {u"Sennheiser PC 8 USB", u"Sennheiser PC 8 USB"}},
                          {3, {u"A002570123456789", u""}},
                          {4, {u"Headset Controls", u"Headset-Tasten"}}});
        break;
    case Kind::Stick:
        port.speed = 2;
        port.deviceDescriptor = DeviceDescriptor(facts.vendor, facts.product, 1, 2, 3);
        port.configDescriptors = {
            ConfigSet({Interface(0, 2, 8), Endpoint(0x81, 2, 512), Endpoint(0x02, 2, 512)})};
        SetStrings(port, {{1, {u" SanDisk", u" SanDisk"}}, {2, {u" Cruzer Blade", u" Cruzer Blade"}},
                          {3, {u"4C530001230512115432", u""}}});
        break;
    case Kind::Webcam:
        port.speed = 2;
        port.deviceDescriptor = DeviceDescriptor(facts.vendor, facts.product, 0, 0, 2, 0xEF);
        port.configDescriptors = {ConfigSet(
            {Association(0, 2, 14), Interface(0, 1, 14), {13, 0x24, 0x01, 0x00, 0x01, 0x4D, 0x00, 0x80, 0xC3, 0xC9, 0x01, 0x01, 0x01},
             Endpoint(0x87, 3, 16, 8), Interface(1, 0, 14), Interface(1, 1, 14, 0, 1), Endpoint(0x81, 5, 0x0080, 1),
             Interface(1, 1, 14, 0, 2), Endpoint(0x81, 5, 0x0200, 1), Interface(1, 1, 14, 0, 3),
             Endpoint(0x81, 5, 0x1400, 1), Association(2, 2, 1), Interface(2, 0, 1), Interface(3, 0, 1),
             Interface(3, 1, 1, 0, 1), AudioEndpoint(0x86, 68)},
            0, 4)};
        SetStrings(port, {{2, {u"A1B2C3D4", u""}}});
        break;
    case Kind::Serial:
        port.deviceDescriptor = DeviceDescriptor(facts.vendor, facts.product);
        port.configDescriptors = {ConfigSet(
            {Interface(0, 3, 0xFF), Endpoint(0x81, 3, 10, 1), Endpoint(0x02, 2, 64), Endpoint(0x83, 2, 64)})};
        break;
    case Kind::Hub:
        port.speed = 2;
        port.isHub = true;
        port.deviceDescriptor = DeviceDescriptor(facts.vendor, facts.product, 0, 1, 0, 9);
        port.configDescriptors = {ConfigSet({Interface(0, 1, 9), Endpoint(0x81, 3, 1, 12), Interface(0, 1, 9, 0, 1),
                                             Endpoint(0x81, 3, 1, 12)})};
        SetStrings(port, {{1, {u"USB 2.0 Hub [MTT]", u"USB 2.0 Hub [MTT]"}}});
        break;
    }
    return port;
}

// Builds a PC: each controller has a 10-port root hub; ports 1 and 2 hold
// 7-port hubs, the second with a third 7-port hub on its port 7; every other
// port holds a device. Every device has its driver key, Class entry and
// instance key. The unrelated instance keys come first under Enum\USB.
class PcBuilder {
public:
    SimTopology Build(int controllers, int extraInstances)
    {
        topology_ = SimTopology{};
        AddUnrelatedInstances(extraInstances);
        for (int index = 0; index < controllers; ++index)
            AddController(index);
        return std::move(topology_);
    }

private:
    void AddUnrelatedInstances(int count)
    {
        static const uint16_t vendors[] = {0x0BDA, 0x1058, 0x04E8, 0x0951, 0x2109, 0x05AC, 0x413C, 0x17EF};
        for (int i = 0; i < count; ++i) {
            const int device = i / kInstancesPerExtraDevice;
            char path[160];
            snprintf(path, sizeof(path), "%sVID_%04X&PID_%04X\\%d&%08x&0&%d", kEnumUsb, vendors[device % 8],
                     0x1000 + device, 5 + i % 3, 0x1a2b0000u + static_cast<unsigned>(i), 1 + i % 10);
            char driver[64];
            snprintf(driver, sizeof(driver), "%s\\%04d", kWinUsbClass, i);
            SimRegistryKey& key = SimRegistryPath(topology_.localMachine, path);
            key.values["Driver"] = SimTextValue(driver);
            key.values["Service"] = SimTextValue("WINUSB");
        }
    }

    std::string NextDriverKey(const char* classGuid)
    {
        char key[64];
        snprintf(key, sizeof(key), "%s\\%04d", classGuid, classNumbers_[classGuid]++);
        return key;
    }

    // Registers the device's driver and instance and names the key on its port.
    void Register(SimPort& port, Kind kind, const std::string& instance)
    {
        const KindFacts facts = FactsOf(kind);
        const std::string driverKey = NextDriverKey(facts.classGuid);
        char device[32];
        snprintf(device, sizeof(device), "VID_%04X&PID_%04X", facts.vendor, facts.product);
        AddDriver(topology_, driverKey, facts.description, std::string(device) + "\\" + instance);
        port.driverKey = Wide(driverKey);
    }

    // A hub's ports, each with a device of the kind listed, or a hub.
    std::unique_ptr<SimHub> MakeHub(const std::string& name, uint32_t tag, int depth, std::vector<Kind> kinds)
    {
        auto hub = Hub(name, static_cast<uint32_t>(kinds.size()));
        for (uint32_t number = 1; number <= kinds.size(); ++number) {
            const Kind kind = kinds[number - 1];
            SimPort port = DeviceOf(kind, number);
            port.address = static_cast<uint16_t>(++addresses_);
            char instance[48];
            if (kind == Kind::Stick) {
                snprintf(instance, sizeof(instance), "4C5300012305%08X", ++serials_);
                const std::u16string serial = Wide(instance);
                port.strings[3][kEnglish] = serial;
            } else {
                snprintf(instance, sizeof(instance), "%d&%x&0&%u", 5 + depth, tag, number);
            }
            Register(port, kind, instance);
            if (kind == Kind::Hub) {
                const uint32_t childTag = tag * 16 + number;
                char hubName[160];
                snprintf(hubName, sizeof(hubName), "USB#VID_1A40&PID_0201#%d&%x&0&%u%s", 5 + depth, childTag, number,
                         kHubInterface);
                std::vector<Kind> childKinds = depth == 0 && number == 2
                                                   ? std::vector<Kind>{Kind::Mouse, Kind::Stick, Kind::Webcam,
                                                                       Kind::Headset, Kind::Serial, Kind::Stick,
                                                                       Kind::Hub}
                                                   : depth == 0 ? std::vector<Kind>{Kind::Keyboard, Kind::Mouse,
                                                                                    Kind::Headset, Kind::Stick,
                                                                                    Kind::Webcam, Kind::Serial,
                                                                                    Kind::Keyboard}
                                                                : std::vector<Kind>{Kind::Keyboard, Kind::Mouse,
                                                                                    Kind::Stick, Kind::Stick,
                                                                                    Kind::Headset, Kind::Serial,
                                                                                    Kind::Webcam};
                port.hub = MakeHub(hubName, childTag, depth + 1, childKinds);
            }
            hub->ports.push_back(std::move(port));
        }
        return hub;
    }

    void AddController(int index)
    {
        const uint32_t tag = 0x1b3c500u + static_cast<uint32_t>(index);
        char rootName[160];
        snprintf(rootName, sizeof(rootName), "USB#ROOT_HUB30#4&%x&0&0%s", tag, kHubInterface);
        auto root = MakeHub(rootName, tag, 0,
                            {Kind::Hub, Kind::Hub, Kind::Keyboard, Kind::Mouse, Kind::Stick, Kind::Webcam,
                             Kind::Headset, Kind::Serial, Kind::Stick, Kind::Mouse});
        topology_.controllers.push_back(
            ControllerWith("Intel(R) USB 3.0 eXtensible Host Controller - 1.0 (Microsoft)", std::move(root)));
        // The root hub's own instance, which no port names.
        char instance[48];
        snprintf(instance, sizeof(instance), "ROOT_HUB30\\4&%x&0&0", tag);
        AddDriver(topology_, NextDriverKey(kUsbClass), "USB Root Hub (USB 3.0)", instance);
    }

    SimTopology topology_;
    std::map<std::string, int> classNumbers_;
    uint32_t addresses_ = 0;
    uint32_t serials_ = 0;
};

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

Row Measure(int controllers, int extraInstances, double minSeconds)
{
    using Clock = std::chrono::steady_clock;
    Row row;
    row.controllers = controllers;
    row.extraInstances = extraInstances;
    SimSession session(PcBuilder().Build(controllers, extraInstances));
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
    printf("\nctrl: host controllers, each with 31 ports in use (28 devices, 3 hubs);\n"
           "extra: unrelated instance keys under Enum\\USB, before the devices' own;\n"
           "0x220408 counts root hub names and node information (one code).\n");
}

std::string AsJson(const std::vector<Row>& rows, double minSeconds, bool ok)
{
    nlohmann::ordered_json out;
    out["min_seconds_per_size"] = minSeconds;
    out["ok"] = ok;
    out["sizes"] = nlohmann::ordered_json::array();
    for (const Row& row : rows) {
        nlohmann::ordered_json item;
        item["controllers"] = row.controllers;
        item["extra_instance_keys"] = row.extraInstances;
        item["tree_items"] = row.items;
        item["refreshes_timed"] = row.runs;
        item["median_ms"] = row.medianMs;
        nlohmann::ordered_json usb;
        usb["total"] = row.counts.Usb();
        for (const auto& [code, count] : row.counts.ioctl)
            usb[Hex(code)] = count;
        item["usb_requests"] = usb;
        item["registry_calls"] = row.counts.registry;
        item["opens"] = row.counts.opens;
        item["setupapi_sets"] = row.counts.sets;
        item["peak_bytes"] = row.peakBytes;
        out["sizes"].push_back(item);
    }
    return out.dump(2) + "\n";
}

}  // namespace

int main(int argc, char** argv)
{
    bool json = false;
    double minSeconds = 0.5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--min-seconds" && i + 1 < argc) {
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

    std::vector<Row> rows;
    bool ok = true;
    for (int extra : kExtraInstanceCounts)
        for (int controllers : kControllerCounts)
            rows.push_back(Measure(controllers, extra, minSeconds));
    std::vector<std::pair<int, double>> bare;
    for (int controllers : kBareControllerCounts)
        bare.emplace_back(controllers, MicrosecondsPerController(controllers));
    // Linear: 64 times the controllers may cost at most 4 times as much per controller.
    if (bare.back().second > 4 * bare.front().second + 1.0) {
        fprintf(stderr, "bare controllers: %.1f us each at %d, %.1f at %d\n", bare.back().second, bare.back().first,
                bare.front().second, bare.front().first);
        ok = false;
    }
    if (json) {
        std::string text = AsJson(rows, minSeconds, ok);
        nlohmann::ordered_json perController = nlohmann::ordered_json::object();
        for (const auto& [controllers, microseconds] : bare)
            perController[std::to_string(controllers)] = microseconds;
        nlohmann::ordered_json all = nlohmann::ordered_json::parse(text);
        all["bare_controllers_us_per_controller"] = perController;
        text = all.dump(2) + "\n";
        fwrite(text.data(), 1, text.size(), stdout);
    } else {
        PrintTable(rows);
        printf("\nBare controllers (a 4-port root hub each): microseconds of one refresh per controller\n");
        for (const auto& [controllers, microseconds] : bare)
            printf("%5d %8.2f\n", controllers, microseconds);
    }
    return ok ? 0 : 1;
}
