// What one refresh asks the platform for, counted by hand for small PCs:
// connection queries per port, the configuration pair, one request per
// string and language, the driver key probe and read, the registry walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_session.h"
#include "tests/support/topology_builder.h"
#include "tree/topology_scan.h"
#include "usb/usb_records.h"

using namespace testing_topology;

namespace {

constexpr char kRootHub[] = "USB#ROOT_HUB20#4&2e1c5a0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

std::string DriverKey(int number)
{
    return "{36fc9e60-c465-11cf-8056-444553540000}\\00" + std::to_string(number);
}

SimTopology OneRootHub(std::vector<SimPort> ports, uint32_t portCount)
{
    SimTopology topology;
    topology.controllers.push_back(ControllerWith("Host Controller", Hub(kRootHub, portCount, std::move(ports))));
    return topology;
}

// Manufacturer, product, serial number and an interface string, in English and German.
SimPort DeviceWithStrings(uint32_t number, const std::string& driverKey)
{
    SimPort port = Device(number, 0x0781, 0x5567, driverKey, 2);
    port.deviceDescriptor = DeviceDescriptor(0x0781, 0x5567, 1, 2, 3);
    port.configDescriptors = {ConfigSet({Interface(0, 2, 8, 4), Endpoint(0x81, 2, 512), Endpoint(0x02, 2, 512)})};
    port.languages = {0x0409, 0x0407};
    port.hasLanguageList = true;
    for (uint8_t index = 1; index <= 4; ++index)
        port.strings[index] = {{0x0409, u"text"}, {0x0407, u"Text"}};
    return port;
}

// Two refreshes must ask the same; the first one's requests.
PlatformRequests Refresh(SimTopology topology)
{
    SimSession session(std::move(topology));
    RefreshTree();
    const PlatformRequests first = session.Requests();
    session.ResetCounters();
    RefreshTree();
    const PlatformRequests second = session.Requests();
    EXPECT_EQ(second.ioctl, first.ioctl);
    EXPECT_EQ(second.registry, first.registry);
    ClearTree();
    return first;
}

TEST(RequestCount, OneDeviceOnATwoPortRootHub)
{
    std::vector<SimPort> ports;
    ports.push_back(Device(1, 0x046D, 0xC077, DriverKey(10)));
    SimTopology topology = OneRootHub(std::move(ports), 2);
    AddDriver(topology, DriverKey(10), "USB Input Device", "VID_046D&PID_C077\\5&2e1c5a0&0&1");
    const PlatformRequests seen = Refresh(std::move(topology));
    EXPECT_EQ(seen.sets, 1u);
    EXPECT_EQ(seen.opens, 2u) << "controller and root hub";
    EXPECT_EQ(seen.closes, 2u);
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_ROOT_HUB_NAME), 3u) << "name probe, name, node information";
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX), 2u) << "one per port";
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION), 0u);
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME), 2u) << "probe and read, used port only";
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION), 2u) << "configuration probe and set";
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_NAME), 0u);
    // Instance: open USB, list and open the device key, list, open, read and
    // close the instance, close the device key and USB: 9. Description: 5.
    EXPECT_EQ(seen.registry, 14u);
}

TEST(RequestCount, OlderConnectionQueryOnlyWhenTheNewerOneFails)
{
    std::vector<SimPort> ports;
    SimPort older = Device(1, 0x046D, 0xC077, DriverKey(30));
    older.fail.insert("connection_ex");
    ports.push_back(std::move(older));
    SimPort neither = Device(2, 0x046D, 0xC31C, DriverKey(31));
    neither.fail = {"connection_ex", "connection"};
    ports.push_back(std::move(neither));
    SimPort hub = HubPort(3, Hub("EXT", 1, {}), DriverKey(32));
    hub.fail.insert("connection_ex");
    ports.push_back(std::move(hub));
    ports.push_back(Device(4, 0x046D, 0xC52B, DriverKey(33)));
    const PlatformRequests seen = Refresh(OneRootHub(std::move(ports), 4));
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX), 5u);
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION), 3u);
    EXPECT_EQ(seen.opens, 3u) << "the hub behind the older query is opened";
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_NAME), 2u) << "its name: probe and read";
}

TEST(RequestCount, OneRequestPerStringAndLanguage)
{
    struct Case {
        const char* what;
        std::vector<uint16_t> languages;
        uint64_t descriptors;
    };
    const Case cases[] = {
        {"two languages: pair, list, four indexes twice", {0x0409, 0x0407}, 2 + 1 + 4 * 2},
        {"three languages", {0x0409, 0x0407, 0x040C}, 2 + 1 + 4 * 3},
        {"an empty language list: pair and list alone", {}, 2 + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<SimPort> ports;
        ports.push_back(DeviceWithStrings(1, DriverKey(40)));
        ports[0].languages = c.languages;
        EXPECT_EQ(Refresh(OneRootHub(std::move(ports), 1)).Ioctl(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION),
                  c.descriptors);
    }
}

TEST(RequestCount, DriverKeyProbeAloneWhenItFailsOrNamesNothing)
{
    std::vector<SimPort> ports;
    SimPort empty = Device(1, 0x046D, 0xC077);
    empty.driverKey = u"";
    ports.push_back(std::move(empty));
    SimPort probeFails = Device(2, 0x046D, 0xC077, DriverKey(41));
    probeFails.fail.insert("driver_key_probe");
    ports.push_back(std::move(probeFails));
    ports.push_back(Device(3, 0x046D, 0xC077, DriverKey(42)));  // nowhere in the registry
    SimPort failed = EmptyPort(4);
    failed.status = 2;  // DeviceFailedEnumeration: asked for its key, no descriptors
    failed.driverKey = u"{36fc9e60-c465-11cf-8056-444553540000}\\0043";
    ports.push_back(std::move(failed));
    const PlatformRequests seen = Refresh(OneRootHub(std::move(ports), 4));
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME), 1u + 1u + 2u + 2u);
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION), 2u * 3u);
    // USB and Class opened and found empty, for each of the two keys named.
    EXPECT_EQ(seen.registry, 2u * (1u + 1u));
}

}  // namespace
