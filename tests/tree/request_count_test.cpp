// One refresh asks the platform for exactly what the PC calls for: requests
// by I/O control code, device opens, SetupAPI sets and registry calls. The
// expectation is reasoned per controller, hub and port from the topology.
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_code_page.h"
#include "sim/sim_session.h"
#include "sim/topology_loader.h"
#include "tests/support/topology_builder.h"
#include "tree/topology_scan.h"
#include "usb/usb_records.h"

using namespace testing_topology;
namespace fs = std::filesystem;

namespace {

constexpr char kEnumUsb[] = "System\\CurrentControlSet\\Enum\\USB";
constexpr char kClass[] = "System\\CurrentControlSet\\Control\\Class";
constexpr size_t kDriverValueBytes = 300;
constexpr uint16_t kMaxStringReply = 255;

constexpr uint32_t kRootHubNameOrNodeInfo = 0x220408;
constexpr uint32_t kConnection = 0x22040C;
constexpr uint32_t kDescriptor = 0x220410;
constexpr uint32_t kHubName = 0x220414;
constexpr uint32_t kDriverKeyName = 0x220420;
constexpr uint32_t kConnectionEx = 0x220448;
static_assert(kRootHubNameOrNodeInfo == IOCTL_USB_GET_ROOT_HUB_NAME);
static_assert(kRootHubNameOrNodeInfo == IOCTL_USB_GET_NODE_INFORMATION);
static_assert(kConnection == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION);
static_assert(kDescriptor == IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION);
static_assert(kHubName == IOCTL_USB_GET_NODE_CONNECTION_NAME);
static_assert(kDriverKeyName == IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME);
static_assert(kConnectionEx == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX);

const char* CodeName(uint32_t code)
{
    switch (code) {
    case kRootHubNameOrNodeInfo: return "root hub name / node information";
    case kConnection: return "connection information (older form)";
    case kDescriptor: return "descriptor";
    case kHubName: return "external hub name";
    case kDriverKeyName: return "driver key name";
    case kConnectionEx: return "connection information";
    default: return "other";
    }
}

using Requests = PlatformRequests;

std::string Ansi(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text) {
        if (unit == 0)
            break;
        out += Cp1252FromUnit(unit);
    }
    return out;
}

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool Failing(const SimFailures& fail, const std::string& step)
{
    return fail.count(step) != 0;
}

// The registry's side: what the two lookups of one driver key name cost.
class RegistryModel {
public:
    explicit RegistryModel(const SimRegistryKey& localMachine) : localMachine_(localMachine) {}

    // Open Enum\USB, then for each device key: enumerate, open, and for each
    // instance key enumerate, open, read "Driver", close, until the match;
    // a failed enumeration ends each list.
    uint64_t InstanceLookup(const std::string& driverKey) const
    {
        uint64_t calls = 1;
        const SimRegistryKey* usb = Open(localMachine_, kEnumUsb);
        if (!usb)
            return calls;
        calls += 1;  // closing Enum\USB
        for (const auto& listed : usb->subkeys) {
            calls += 2;  // enumerated, opened
            const SimRegistryKey* device = Open(*usb, listed->name);
            if (!device)
                continue;
            calls += 1;  // closing the device key
            for (const auto& instanceListed : device->subkeys) {
                calls += 2;
                const SimRegistryKey* instance = Open(*device, instanceListed->name);
                if (!instance)
                    continue;
                calls += 2;  // "Driver" read, closed
                if (NamesDriver(*instance, driverKey))
                    return calls;
            }
            calls += 1;  // the end of the instance list
        }
        return calls + 1;  // the end of the device list
    }

    // Open Class, open the driver key below it, read DriverDesc, close both.
    uint64_t DescriptionLookup(const std::string& driverKey) const
    {
        const SimRegistryKey* classKey = Open(localMachine_, kClass);
        if (!classKey)
            return 1;
        if (!Open(*classKey, driverKey))
            return 3;
        return 5;
    }

private:
    // The key a path opens: each part the first subkey of that name in any
    // case, and openable.
    static const SimRegistryKey* Open(const SimRegistryKey& from, const std::string& path)
    {
        const SimRegistryKey* key = &from;
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = std::min(path.find('\\', start), path.size());
            const std::string part = path.substr(start, end - start);
            if (!part.empty()) {
                auto sub = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                                        [&](const auto& candidate) { return SameIgnoringCase(candidate->name, part); });
                if (sub == key->subkeys.end() || !(*sub)->openable)
                    return nullptr;
                key = sub->get();
            }
            start = end + 1;
        }
        return key;
    }

    // A "Driver" value that fits 300 bytes, ends in a terminator and names the
    // key in any ASCII case.
    static bool NamesDriver(const SimRegistryKey& instance, const std::string& driverKey)
    {
        for (const auto& [name, value] : instance.values) {
            if (!SameIgnoringCase(name, "Driver"))
                continue;
            if (value.size() > kDriverValueBytes || std::find(value.begin(), value.end(), 0) == value.end())
                return false;
            const std::string text(reinterpret_cast<const char*>(value.data()));
            return SameIgnoringCase(text, driverKey);
        }
        return false;
    }

    const SimRegistryKey& localMachine_;
};

// String indexes a configuration set names: iConfiguration of each
// configuration descriptor and iInterface of each interface descriptor, in
// the whole descriptors inside wTotalLength, up to the first configuration
// or interface descriptor of a length the walk does not accept.
uint64_t ConfigStringIndexes(const std::vector<uint8_t>& set, uint32_t total)
{
    uint64_t named = 0;
    uint32_t at = 0;
    while (at + 2 < total) {
        const uint8_t length = set[at];
        const uint8_t type = set[at + 1];
        if (length == 0 || at + length > total)
            break;
        if (type == 2) {
            if (length != 9)
                break;
            named += set[at + 6] != 0;
        } else if (type == 4) {
            if (length != 9 && length != 11)
                break;
            named += set[at + 8] != 0;
        }
        at += length;
    }
    return named;
}

// Languages the device reports in string descriptor 0; -1 when that reply
// is missing or not a well-formed string descriptor.
int LanguageCount(const SimPort& port)
{
    if (Failing(port.fail, "string:0:0000"))
        return -1;
    std::vector<uint8_t> reply;
    auto raw = port.rawStrings.find({0, 0});
    if (raw != port.rawStrings.end()) {
        reply = raw->second;
    } else {
        if (!port.hasLanguageList && port.languages.empty())
            return -1;
        const size_t units = std::min<size_t>(port.languages.size(), 126);
        reply = {static_cast<uint8_t>(2 + 2 * units), 3};
        reply.resize(2 + 2 * units);
    }
    const size_t sent = std::min<size_t>(reply.size(), kMaxStringReply);
    if (sent < 2 || reply[1] != 3 || reply[0] != sent || reply[0] % 2 != 0)
        return -1;
    return (reply[0] - 2) / 2;
}

uint16_t TotalLength(const std::vector<uint8_t>& set)
{
    return static_cast<uint16_t>(set[2] | set[3] << 8);
}

// What a refresh should ask, reasoned from the topology.
class RequestModel {
public:
    explicit RequestModel(const SimTopology& topology) : topology_(topology), registry_(topology.localMachine) {}

    Requests Expected()
    {
        expected_ = Requests{};
        if (!topology_.controllerSet)
            return expected_;
        expected_.sets = 1;
        for (const SimController& controller : topology_.controllers) {
            if (Failing(controller.fail, "enum"))
                break;
            if (Failing(controller.fail, "interface") || Failing(controller.fail, "path"))
                continue;
            Controller(controller);
        }
        return expected_;
    }

private:
    void Controller(const SimController& controller)
    {
        ++expected_.opens;
        if (!controller.open)
            return;
        ++expected_.closes;
        ++expected_.ioctl[kRootHubNameOrNodeInfo];  // the name's probe
        if (!controller.rootHub || Failing(controller.fail, "root_hub_name_probe"))
            return;
        // The controller's answer is not tested like a hub's: even an empty
        // name is read a second time.
        ++expected_.ioctl[kRootHubNameOrNodeInfo];
        if (Failing(controller.fail, "root_hub_name"))
            return;
        OpenHub(Ansi(controller.rootHub->name));
    }

    void OpenHub(const std::string& name)
    {
        // A hub already on the path, or a seventeenth one, is not opened.
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        if (path_.size() >= 16 || std::find(path_.begin(), path_.end(), upper) != path_.end())
            return;
        ++expected_.opens;
        // "\\.\" alone opens nothing.
        const SimHub* hub = name.empty() ? nullptr : HubNamed(name);
        if (!hub || !hub->open)
            return;
        ++expected_.closes;
        ++expected_.ioctl[kRootHubNameOrNodeInfo];  // node information
        if (!hub->nodeQuery)
            return;
        path_.push_back(upper);
        const uint32_t ports = hub->portCount & 0xFF;
        for (uint32_t number = 1; number <= ports; ++number)
            Port(PortOf(*hub, number));
        path_.pop_back();
    }

    void Port(const SimPort* port)
    {
        ++expected_.ioctl[kConnectionEx];
        if (!port)
            return;  // nothing attached: status 0, not a hub
        if (Failing(port->fail, "connection_ex")) {
            ++expected_.ioctl[kConnection];
            if (Failing(port->fail, "connection"))
                return;
        }
        if (port->status != 0)
            DriverKey(*port);
        if (port->status == 1)
            Descriptors(*port);
        if (port->isHub)
            ExternalHub(*port);
    }

    void DriverKey(const SimPort& port)
    {
        ++expected_.ioctl[kDriverKeyName];
        if (!port.driverKey || Failing(port.fail, "driver_key_probe"))
            return;
        // ActualLength: 8 bytes of header and the name with its terminator;
        // 10 bytes is the empty name.
        if (port.driverKey->empty())
            return;
        ++expected_.ioctl[kDriverKeyName];
        if (Failing(port.fail, "driver_key"))
            return;
        const std::string name = Ansi(*port.driverKey);
        expected_.registry += registry_.InstanceLookup(name) + registry_.DescriptionLookup(name);
    }

    void Descriptors(const SimPort& port)
    {
        ++expected_.ioctl[kDescriptor];  // the 9-byte probe
        if (Failing(port.fail, "config_probe") || port.configDescriptors.empty())
            return;
        const std::vector<uint8_t>& probe = port.configDescriptors[0];
        if (probe.size() < 9 || TotalLength(probe) < 9)
            return;
        const uint16_t total = TotalLength(probe);
        ++expected_.ioctl[kDescriptor];  // the whole set
        if (Failing(port.fail, "config"))
            return;
        const std::vector<uint8_t>& set = port.configSecondReply ? *port.configSecondReply : probe;
        if (set.size() < total || TotalLength(set) != total)
            return;

        uint64_t named = ConfigStringIndexes(set, total);
        if (port.deviceDescriptor.size() == 18)
            for (size_t field : {14, 15, 16})
                named += port.deviceDescriptor[field] != 0;
        if (named == 0)
            return;
        ++expected_.ioctl[kDescriptor];  // string descriptor 0
        const int languages = LanguageCount(port);
        if (languages > 0)
            expected_.ioctl[kDescriptor] += named * static_cast<uint64_t>(languages);
    }

    void ExternalHub(const SimPort& port)
    {
        ++expected_.ioctl[kHubName];
        if (Failing(port.fail, "hub_name_probe"))
            return;
        if (!port.hub || port.hub->name.empty())
            return;
        ++expected_.ioctl[kHubName];
        if (Failing(port.fail, "hub_name"))
            return;
        OpenHub(Ansi(port.hub->name));
    }

    static const SimPort* PortOf(const SimHub& hub, uint32_t number)
    {
        for (const SimPort& port : hub.ports)
            if (port.port == number)
                return &port;
        return nullptr;
    }

    // The hub a device name opens; the names of a PC are told apart in any case.
    const SimHub* HubNamed(const std::string& name) const
    {
        std::vector<const SimHub*> found;
        std::vector<const SimHub*> pending;
        for (const auto& controller : topology_.controllers)
            if (controller.rootHub)
                pending.push_back(controller.rootHub.get());
        while (!pending.empty()) {
            const SimHub* hub = pending.back();
            pending.pop_back();
            if (SameIgnoringCase(Ansi(hub->name), name))
                found.push_back(hub);
            for (const auto& port : hub->ports)
                if (port.hub)
                    pending.push_back(port.hub.get());
        }
        // A hub below one of the same name models a driver echoing an
        // ancestor's name: the name opens the ancestor.
        for (size_t i = 1; i < found.size(); ++i)
            if (!Below(*found.front(), *found[i]))
                ADD_FAILURE() << "two hubs are named " << name << ": the model cannot tell which one opens";
        return found.empty() ? nullptr : found.front();
    }

    static bool Below(const SimHub& above, const SimHub& hub)
    {
        for (const auto& port : above.ports)
            if (port.hub && (port.hub.get() == &hub || Below(*port.hub, hub)))
                return true;
        return false;
    }

    const SimTopology& topology_;
    RegistryModel registry_;
    Requests expected_;
    std::vector<std::string> path_;  // upper-case names of the hubs open above
};

void ExpectSameRequests(const Requests& seen, const Requests& expected)
{
    std::map<uint32_t, uint64_t> codes = expected.ioctl;
    codes.insert(seen.ioctl.begin(), seen.ioctl.end());
    for (const auto& [code, unused] : codes) {
        char hex[16];
        snprintf(hex, sizeof(hex), "0x%06X", code);
        EXPECT_EQ(seen.Ioctl(code), expected.Ioctl(code)) << hex << " " << CodeName(code);
    }
    EXPECT_EQ(seen.sets, expected.sets) << "SetupAPI sets";
    EXPECT_EQ(seen.opens, expected.opens) << "device opens";
    EXPECT_EQ(seen.closes, expected.closes) << "device closes";
    EXPECT_EQ(seen.registry, expected.registry) << "registry calls";
}

// Refreshes twice: each refresh asks the same. Returns the first refresh's
// requests.
Requests RefreshAndCompare(SimSession& session)
{
    const Requests expected = RequestModel(session.Topology()).Expected();
    RefreshTree();
    const Requests first = session.Requests();
    {
        SCOPED_TRACE("first refresh");
        ExpectSameRequests(first, expected);
    }
    session.ResetCounters();
    RefreshTree();
    {
        SCOPED_TRACE("second refresh");
        ExpectSameRequests(session.Requests(), expected);
    }
    ClearTree();
    return first;
}

class RequestCountTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ShowUnusedPorts = 0;
        ShowUnusedControllers = 0;
    }
};

// ---------------------------------------------------------------------------
// The sample PCs, with and without the unused ports and controllers shown.

std::vector<std::string> SampleFiles()
{
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(fs::path(PORTOLAN_SOURCE_DIR) / "samples"))
        if (entry.path().extension() == ".json")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

class SampleRequestCount : public ::testing::TestWithParam<std::string> {
protected:
    void TearDown() override
    {
        ShowUnusedPorts = 0;
        ShowUnusedControllers = 0;
    }
};

TEST_P(SampleRequestCount, RefreshAsksWhatThePcCallsFor)
{
    for (int shown : {0, 1}) {
        SCOPED_TRACE(shown ? "unused ports and controllers shown" : "unused ports and controllers hidden");
        SimTopology topology;
        std::string error;
        ASSERT_TRUE(LoadTopologyFile(GetParam(), &topology, &error)) << error;
        SimSession session(std::move(topology));
        ShowUnusedPorts = shown;
        ShowUnusedControllers = shown;
        RefreshAndCompare(session);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleRequestCount, ::testing::ValuesIn(SampleFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = fs::path(info.param).stem().string();
                             std::replace_if(name.begin(), name.end(), [](char c) { return !isalnum(c); }, '_');
                             return name;
                         });

TEST(SampleFiles, AreThere)
{
    EXPECT_GE(SampleFiles().size(), 3u);
}

TEST_F(RequestCountTest, OfficeSampleAsksForEverythingItHas)
{
    SimTopology topology;
    std::string error;
    ASSERT_TRUE(LoadTopologyFile((fs::path(PORTOLAN_SOURCE_DIR) / "samples" / "office-pc.json").string(), &topology,
                                 &error))
        << error;
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    // Guards the model against agreeing with a scan that asks for nothing.
    EXPECT_GT(seen.Ioctl(kDescriptor), seen.Ioctl(kConnectionEx));
    EXPECT_GT(seen.Ioctl(kDriverKeyName), 0u);
    EXPECT_GT(seen.Ioctl(kHubName), 0u);
    EXPECT_GT(seen.registry, 0u);
}

// ---------------------------------------------------------------------------
// Built PCs, one situation each.

constexpr char kRootHub[] = "USB#ROOT_HUB20#4&2e1c5a0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
constexpr char kHidKey[] = "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}\\0003";
constexpr char kUsbKey[] = "{36fc9e60-c465-11cf-8056-444553540000}\\0010";

std::string HubNameAt(const std::string& where)
{
    return "USB#VID_05E3&PID_0610#6&1f2a&0&" + where + "#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
}

std::string DriverKey(int number)
{
    char key[64];
    snprintf(key, sizeof(key), "{36fc9e60-c465-11cf-8056-444553540000}\\%04d", number);
    return key;
}

SimTopology OneRootHub(std::vector<SimPort> ports, uint32_t portCount)
{
    SimTopology topology;
    topology.controllers.push_back(
        ControllerWith("Standard Enhanced PCI to USB Host Controller", Hub(kRootHub, portCount, std::move(ports))));
    return topology;
}

// A device naming manufacturer, product and serial number, with strings in
// English and German and an interface that names one too.
SimPort DeviceWithStrings(uint32_t number, const std::string& driverKey)
{
    SimPort port = Device(number, 0x0781, 0x5567, driverKey, 2);
    port.deviceDescriptor = DeviceDescriptor(0x0781, 0x5567, 1, 2, 3);
    port.configDescriptors = {ConfigSet({Interface(0, 2, 8, 4), Endpoint(0x81, 2, 512), Endpoint(0x02, 2, 512)})};
    port.languages = {0x0409, 0x0407};
    port.hasLanguageList = true;
    port.strings[1] = {{0x0409, u"SanDisk"}, {0x0407, u"SanDisk"}};
    port.strings[2] = {{0x0409, u"Cruzer Blade"}, {0x0407, u"Cruzer Blade"}};
    port.strings[3] = {{0x0409, u"4C530001230512115432"}};
    port.strings[4] = {{0x0409, u"Mass Storage"}, {0x0407, u"Massenspeicher"}};
    return port;
}

TEST_F(RequestCountTest, ModelAgreesWithAHandCount)
{
    // One device without string indexes on port 1 of a two-port root hub.
    std::vector<SimPort> ports;
    ports.push_back(Device(1, 0x046D, 0xC077, kHidKey));
    SimTopology topology = OneRootHub(std::move(ports), 2);
    AddDriver(topology, kHidKey, "USB Input Device", "VID_046D&PID_C077\\5&2e1c5a0&0&1");
    SimSession session(std::move(topology));
    const Requests expected = RequestModel(session.Topology()).Expected();

    // Name probe and name, node information.
    EXPECT_EQ(expected.Ioctl(kRootHubNameOrNodeInfo), 3u);
    EXPECT_EQ(expected.Ioctl(kConnectionEx), 2u);
    EXPECT_EQ(expected.Ioctl(kConnection), 0u);
    EXPECT_EQ(expected.Ioctl(kDriverKeyName), 2u);
    EXPECT_EQ(expected.Ioctl(kDescriptor), 2u);
    EXPECT_EQ(expected.Ioctl(kHubName), 0u);
    EXPECT_EQ(expected.opens, 2u);
    EXPECT_EQ(expected.sets, 1u);
    // Instance: open USB, list and open the device key, list, open, read and
    // close the instance, close the device key and USB: 9. Description: 5.
    EXPECT_EQ(expected.registry, 14u);
    RefreshAndCompare(session);
}

SimTopology PortsMostlyUnused()
{
    std::vector<SimPort> ports;
    ports.push_back(Device(2, 0x046D, 0xC077, kHidKey));
    SimPort unused = EmptyPort(4);
    unused.driverKey = u"{36fc9e60-c465-11cf-8056-444553540000}\\0099";  // stale: not asked for
    ports.push_back(std::move(unused));
    ports.push_back(Device(9, 0x046D, 0xC31C, kUsbKey));  // beyond bNumberOfPorts
    SimTopology topology = OneRootHub(std::move(ports), 6);
    AddDriver(topology, kHidKey, "USB Input Device", "VID_046D&PID_C077\\5&2e1c5a0&0&2");
    AddDriver(topology, kUsbKey, "USB Composite Device", "VID_046D&PID_C31C\\5&2e1c5a0&0&9");
    return topology;
}

TEST_F(RequestCountTest, UnusedPortsAreAskedOnlyForTheirConnection)
{
    for (int shown : {0, 1}) {
        SCOPED_TRACE(shown ? "unused ports shown" : "unused ports hidden");
        SimSession session(PortsMostlyUnused());
        ShowUnusedPorts = shown;
        const Requests seen = RefreshAndCompare(session);
        EXPECT_EQ(seen.Ioctl(kConnectionEx), 6u);
        EXPECT_EQ(seen.Ioctl(kDriverKeyName), 2u);
    }
}

TEST_F(RequestCountTest, FailedEnumerationIsAskedForItsDriverKeyButNoDescriptors)
{
    std::vector<SimPort> ports;
    SimPort failed = EmptyPort(1);
    failed.status = 2;  // DeviceFailedEnumeration
    failed.driverKey = u"{36fc9e60-c465-11cf-8056-444553540000}\\0020";
    ports.push_back(std::move(failed));
    SimPort noPower = DeviceWithStrings(2, DriverKey(21));
    noPower.status = 5;  // DeviceNotEnoughPower
    noPower.configValue = 0;
    ports.push_back(std::move(noPower));
    ports.push_back(DeviceWithStrings(3, DriverKey(22)));
    SimTopology topology = OneRootHub(std::move(ports), 4);
    AddDriver(topology, DriverKey(20), "Unknown USB Device (Device Descriptor Request Failed)",
              "VID_0000&PID_0002\\5&2e1c5a0&0&1");
    AddDriver(topology, DriverKey(21), "USB Mass Storage Device", "VID_0781&PID_5567\\4C530001230512115433");
    AddDriver(topology, DriverKey(22), "USB Mass Storage Device", "VID_0781&PID_5567\\4C530001230512115432");
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    // Three driver keys read in two requests; one configured device: two
    // configuration requests, string 0, four indexes in two languages.
    EXPECT_EQ(seen.Ioctl(kDriverKeyName), 6u);
    EXPECT_EQ(seen.Ioctl(kDescriptor), 2u + 1u + 4u * 2u);
}

TEST_F(RequestCountTest, FallbackConnectionQueryOnlyWhenTheNewerOneFails)
{
    std::vector<SimPort> hubPorts;
    hubPorts.push_back(Device(1, 0x046D, 0xC077, DriverKey(31)));
    std::vector<SimPort> ports;
    SimPort older = DeviceWithStrings(1, DriverKey(30));
    older.fail.insert("connection_ex");
    ports.push_back(std::move(older));
    SimPort neither = Device(2, 0x046D, 0xC31C, DriverKey(32));
    neither.fail = {"connection_ex", "connection"};
    ports.push_back(std::move(neither));
    SimPort hub = HubPort(3, Hub(HubNameAt("3"), 2, std::move(hubPorts)), DriverKey(33));
    hub.fail.insert("connection_ex");
    ports.push_back(std::move(hub));
    ports.push_back(Device(4, 0x046D, 0xC52B, DriverKey(34)));
    SimTopology topology = OneRootHub(std::move(ports), 4);
    for (int key : {30, 31, 32, 33, 34})
        AddDriver(topology, DriverKey(key), "USB device", "VID_046D&PID_C077\\5&2e1c5a0&0&" + std::to_string(key));
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    EXPECT_EQ(seen.Ioctl(kConnectionEx), 6u);
    EXPECT_EQ(seen.Ioctl(kConnection), 3u);
    EXPECT_EQ(seen.opens, 3u) << "the hub behind the older query is scanned";
}

TEST_F(RequestCountTest, DriverKeyNamesThatAreEmptyMissingOrUnregistered)
{
    std::vector<SimPort> ports;
    SimPort empty = Device(1, 0x046D, 0xC077);
    empty.driverKey = u"";
    ports.push_back(std::move(empty));
    ports.push_back(Device(2, 0x046D, 0xC077));  // no driver key: the probe fails
    ports.push_back(Device(3, 0x046D, 0xC077, DriverKey(40)));  // nowhere in the registry
    SimPort secondFails = Device(4, 0x046D, 0xC077, DriverKey(41));
    secondFails.fail.insert("driver_key");
    ports.push_back(std::move(secondFails));
    SimPort probeFails = Device(5, 0x046D, 0xC077, DriverKey(42));
    probeFails.fail.insert("driver_key_probe");
    ports.push_back(std::move(probeFails));
    ports.push_back(Device(6, 0x046D, 0xC077, DriverKey(43)));  // Class entry only
    SimTopology topology = OneRootHub(std::move(ports), 6);
    AddDriver(topology, DriverKey(41), "USB Input Device", "VID_046D&PID_C077\\5&2e1c5a0&0&4");
    AddDriver(topology, DriverKey(42), "USB Input Device", "VID_046D&PID_C077\\5&2e1c5a0&0&5");
    AddDriver(topology, DriverKey(43), "USB Input Device");
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    // Ports 1, 2, 5: the probe alone; ports 3, 4, 6: probe and name.
    EXPECT_EQ(seen.Ioctl(kDriverKeyName), 3u + 3u * 2u);
}

TEST_F(RequestCountTest, HubsOnHubsAreEachOpenedAndScanned)
{
    std::vector<SimPort> innermost;
    innermost.push_back(DeviceWithStrings(2, DriverKey(53)));
    std::vector<SimPort> middle;
    middle.push_back(Device(1, 0x046D, 0xC077, DriverKey(52)));
    middle.push_back(HubPort(3, Hub(HubNameAt("1.3"), 2, std::move(innermost)), DriverKey(51)));
    std::vector<SimPort> ports;
    ports.push_back(HubPort(1, Hub(HubNameAt("1"), 4, std::move(middle)), DriverKey(50)));
    auto closed = Hub(HubNameAt("2"), 4);
    closed->open = false;
    ports.push_back(HubPort(2, std::move(closed), DriverKey(54)));
    auto silent = Hub(HubNameAt("3"), 4);
    silent->nodeQuery = false;
    ports.push_back(HubPort(3, std::move(silent), DriverKey(55)));
    SimPort nameless = HubPort(4, nullptr, DriverKey(56));  // a hub that reports an empty name
    ports.push_back(std::move(nameless));
    SimPort unnamed = HubPort(5, Hub(HubNameAt("5"), 4), DriverKey(57));
    unnamed.fail.insert("hub_name");
    ports.push_back(std::move(unnamed));
    SimTopology topology = OneRootHub(std::move(ports), 5);
    for (int key = 50; key <= 57; ++key)
        AddDriver(topology, DriverKey(key), "Generic USB Hub", "VID_05E3&PID_0610\\6&1f2a&0&" + std::to_string(key));
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    // Controller, root hub, the two nested hubs, the one that does not open
    // and the one without node information.
    EXPECT_EQ(seen.opens, 6u);
    EXPECT_EQ(seen.Ioctl(kHubName), 2u + 2u + 2u + 1u + 2u + 2u);
}

TEST_F(RequestCountTest, StringRequestsFollowTheIndexesAndLanguages)
{
    std::vector<SimPort> ports;
    // The same index named twice is asked for twice.
    SimPort repeated = DeviceWithStrings(1, DriverKey(60));
    repeated.configDescriptors = {ConfigSet({Interface(0, 1, 3, 2), Endpoint(0x81, 3, 8, 10), Interface(0, 1, 3, 2, 1),
                                             Endpoint(0x81, 3, 8, 10)},
                                            5)};
    ports.push_back(std::move(repeated));
    ports.push_back(Device(2, 0x046D, 0xC077, DriverKey(61)));  // no index: no string request
    SimPort stalls = DeviceWithStrings(3, DriverKey(62));
    stalls.fail.insert("string:0:0000");
    ports.push_back(std::move(stalls));
    SimPort noLanguages = DeviceWithStrings(4, DriverKey(63));
    noLanguages.languages.clear();
    ports.push_back(std::move(noLanguages));
    SimPort oddList = DeviceWithStrings(5, DriverKey(64));
    oddList.rawStrings[{0, 0}] = {5, 3, 0x09, 0x04, 0x07};
    ports.push_back(std::move(oddList));
    SimPort threeLanguages = DeviceWithStrings(6, DriverKey(65));
    threeLanguages.languages = {0x0409, 0x0407, 0x040C};
    ports.push_back(std::move(threeLanguages));
    // An interface of a length the walk refuses ends the indexes it finds.
    SimPort cut = Device(7, 0x046D, 0xC077, DriverKey(66));
    std::vector<uint8_t> shortInterface = {8, 4, 0, 0, 1, 3, 0, 0};
    cut.configDescriptors = {ConfigSet({Interface(0, 1, 3, 1), shortInterface, Interface(1, 0, 3, 2)})};
    cut.languages = {0x0409};
    ports.push_back(std::move(cut));
    // Configuration probe stalls: no whole set and no strings.
    SimPort noConfig = DeviceWithStrings(8, DriverKey(67));
    noConfig.fail.insert("config_probe");
    ports.push_back(std::move(noConfig));
    // The whole set stalls after the probe.
    SimPort noSet = DeviceWithStrings(9, DriverKey(68));
    noSet.fail.insert("config");
    ports.push_back(std::move(noSet));
    // The whole set differs from the probe: its indexes count.
    SimPort second = Device(10, 0x046D, 0xC077, DriverKey(69));
    second.languages = {0x0409, 0x0407};
    second.configSecondReply = ConfigSet({Interface(0, 1, 3, 7), Endpoint(0x81, 3, 8, 10)});
    ports.push_back(std::move(second));
    // A set shorter than its probe claims.
    SimPort shortSet = DeviceWithStrings(11, DriverKey(70));
    shortSet.configSecondReply = std::vector<uint8_t>(shortSet.configDescriptors[0].begin(),
                                                      shortSet.configDescriptors[0].begin() + 9);
    ports.push_back(std::move(shortSet));
    SimTopology topology = OneRootHub(std::move(ports), 11);
    for (int key = 60; key <= 70; ++key)
        AddDriver(topology, DriverKey(key), "USB device", "VID_0781&PID_5567\\" + std::to_string(key));
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    // Port 1: 2 + 1 + (3 device + iConfiguration + 2 interfaces) x 2;
    // port 2: 2; port 3: 2 + 1; port 4: 2 + 1; port 5: 2 + 1;
    // port 6: 2 + 1 + 4 x 3; port 7: 2 + 1 + 1; port 8: 1; port 9: 2;
    // port 10: 2 + 1 + 1 x 2; port 11: 2.
    EXPECT_EQ(seen.Ioctl(kDescriptor), 15u + 2u + 3u + 3u + 3u + 15u + 4u + 1u + 2u + 5u + 2u);
}

TEST_F(RequestCountTest, ControllersThatCannotBeReachedAskForLess)
{
    SimTopology topology;
    auto add = [&](const std::string& failure, std::vector<SimPort> ports = {}) -> SimController& {
        const std::string number = std::to_string(topology.controllers.size());
        topology.controllers.push_back(ControllerWith(
            "HC " + number, Hub("USB#ROOT_HUB20#4&" + number + "&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", 2,
                                std::move(ports))));
        if (!failure.empty())
            topology.controllers.back().fail.insert(failure);
        return topology.controllers.back();
    };
    std::vector<SimPort> ports;
    ports.push_back(Device(1, 0x046D, 0xC077, DriverKey(80)));
    add("", std::move(ports));
    add("interface");
    add("path");
    add("").open = false;
    add("").rootHub = nullptr;
    add("root_hub_name_probe");
    add("root_hub_name");
    add("").rootHub->open = false;
    add("").rootHub->nodeQuery = false;
    add("").description.reset();
    add("enum");
    add("");  // after the end of the enumeration
    AddDriver(topology, DriverKey(80), "USB Input Device", "VID_046D&PID_C077\\5&0&0&1");
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    // Paths read for controllers 0 and 3..9; root hubs named for 0, 7, 8, 9.
    EXPECT_EQ(seen.opens, 8u + 4u);
    EXPECT_EQ(seen.sets, 1u);
}

TEST_F(RequestCountTest, NoControllerSetAsksForNothingElse)
{
    SimTopology topology = OneRootHub({}, 2);
    topology.controllerSet = false;
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    EXPECT_EQ(seen.sets, 0u);
    EXPECT_EQ(seen.opens, 0u);
    EXPECT_TRUE(seen.ioctl.empty());
}

TEST_F(RequestCountTest, RootHubWithAnEmptyNameIsStillReadTwiceButOpensNothing)
{
    SimTopology topology = OneRootHub({}, 2);
    topology.controllers[0].rootHub->name.clear();
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    // Probe and name; "\\.\" alone does not open.
    EXPECT_EQ(seen.Ioctl(kRootHubNameOrNodeInfo), 2u);
    EXPECT_EQ(seen.opens, 2u);
    EXPECT_EQ(seen.closes, 1u);
}

TEST_F(RequestCountTest, HubEchoingAnAncestorsNameIsNotOpened)
{
    std::vector<SimPort> extPorts;
    extPorts.push_back(HubPort(1, Hub(kRootHub, 1)));
    std::vector<SimPort> ports;
    ports.push_back(HubPort(1, Hub("EXT", 1, std::move(extPorts))));
    SimSession session(OneRootHub(std::move(ports), 1));
    const Requests seen = RefreshAndCompare(session);
    EXPECT_EQ(seen.opens, 3u) << "controller, root hub, EXT";
    EXPECT_EQ(seen.Ioctl(kHubName), 4u) << "both hub names, probe and name";
}

TEST_F(RequestCountTest, InstanceWalkCoversEveryKeyBeforeTheMatch)
{
    std::vector<SimPort> ports;
    ports.push_back(Device(1, 0x046D, 0xC077, DriverKey(90)));
    ports.push_back(Device(2, 0x046D, 0xC31C, DriverKey(91)));
    ports.push_back(Device(3, 0x046D, 0xC52B, DriverKey(92)));  // only a Driver value in upper case
    ports.push_back(Device(4, 0x046D, 0xC52F, DriverKey(93)));  // instance behind an unreadable value
    SimTopology topology = OneRootHub(std::move(ports), 4);
    // Unrelated instances first, in 20 device keys of 10.
    for (int device = 0; device < 20; ++device)
        for (int instance = 0; instance < 10; ++instance) {
            char path[96];
            snprintf(path, sizeof(path), "%s\\VID_1234&PID_%04X\\7&%x&0&%d", kEnumUsb, device, device, instance);
            SimRegistryPath(topology.localMachine, path).values["Driver"] = SimTextValue(DriverKey(1000 + instance));
        }
    SimRegistryPath(topology.localMachine, std::string(kEnumUsb) + "\\VID_DEAD&PID_BEEF").openable = false;
    auto& locked = SimRegistryPath(topology.localMachine, std::string(kEnumUsb) + "\\VID_046D&PID_C077\\locked");
    locked.openable = false;
    locked.values["Driver"] = SimTextValue(DriverKey(90));
    AddDriver(topology, DriverKey(90), "USB Input Device", "VID_046D&PID_C077\\5&2e1c5a0&0&1");
    AddDriver(topology, DriverKey(91), "USB Composite Device", "VID_046D&PID_C31C\\5&2e1c5a0&0&2");
    auto& upper = SimRegistryPath(topology.localMachine, std::string(kEnumUsb) + "\\VID_046D&PID_C52B\\5&2e1c5a0&0&3");
    std::string shouting = DriverKey(92);
    std::transform(shouting.begin(), shouting.end(), shouting.begin(), ::toupper);
    upper.values["DRIVER"] = SimTextValue(shouting);
    auto& unterminated =
        SimRegistryPath(topology.localMachine, std::string(kEnumUsb) + "\\VID_046D&PID_C52F\\5&2e1c5a0&0&4");
    const std::string key93 = DriverKey(93);
    unterminated.values["Driver"] = SimRegistryValue(key93.begin(), key93.end());
    auto& tooLong = SimRegistryPath(topology.localMachine, std::string(kEnumUsb) + "\\VID_046D&PID_C52F\\5&2e1c5a0&0&5");
    tooLong.values["Driver"] = SimTextValue(key93 + std::string(400, ' '));
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    // Every lookup passes the 200 unrelated instances: 2 + 20 x (4 + 10 x 4) calls.
    EXPECT_GT(seen.registry, 4u * (2u + 20u * 44u));
}

TEST_F(RequestCountTest, RegistryWithoutEnumOrClassKeysEndsEachLookupAtOnce)
{
    std::vector<SimPort> ports;
    ports.push_back(Device(1, 0x046D, 0xC077, DriverKey(95)));
    ports.push_back(Device(2, 0x046D, 0xC077, DriverKey(96)));
    SimTopology topology = OneRootHub(std::move(ports), 2);
    SimSession session(std::move(topology));
    const Requests seen = RefreshAndCompare(session);
    EXPECT_EQ(seen.registry, 2u * (1u + 1u));
}

}  // namespace
