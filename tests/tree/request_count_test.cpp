// What one refresh asks the platform for, counted by hand for small PCs:
// connection queries per port, the configuration pair, one request per
// string and language, the driver key probe and read, the registry walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tree/topology_scan.h"
#include "usb/usb_records.h"

using namespace topology_builder;

namespace {

std::string DriverKey(int number)
{
    return "{36fc9e60-c465-11cf-8056-444553540000}\\00" + std::to_string(number);
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
    SimTopology topology = OneController(Ports(Device(1, 0x046D, 0xC077, DriverKey(10))), 2);
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
    const auto older = [](SimPort& p) { p.fail.insert("connection_ex"); };
    const PlatformRequests seen = Refresh(OneController(
        Ports(With(Device(1, 0x046D, 0xC077, DriverKey(30)), older),
              With(Device(2, 0x046D, 0xC31C, DriverKey(31)), [](SimPort& p) { p.fail = {"connection_ex", "connection"}; }),
              With(HubPort(3, Hub("EXT", 1), DriverKey(32)), older), Device(4, 0x046D, 0xC52B, DriverKey(33)))));
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
        SimPort port = DeviceWithStrings(1, DriverKey(40));
        port.languages = c.languages;
        EXPECT_EQ(Refresh(OneController(Ports(std::move(port)))).Ioctl(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION),
                  c.descriptors);
    }
}

TEST(RequestCount, DriverKeyProbeAloneWhenItFailsOrNamesNothing)
{
    const PlatformRequests seen = Refresh(OneController(
        Ports(With(Device(1, 0x046D, 0xC077), [](SimPort& p) { p.driverKey = u""; }),
              With(Device(2, 0x046D, 0xC077, DriverKey(41)), [](SimPort& p) { p.fail.insert("driver_key_probe"); }),
              Device(3, 0x046D, 0xC077, DriverKey(42)),  // nowhere in the registry
              // DeviceFailedEnumeration: asked for its key, no descriptors
              With(EmptyPort(4), [](SimPort& p) {
                  p.status = 2;
                  p.driverKey = u"{36fc9e60-c465-11cf-8056-444553540000}\\0043";
              }))));
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME), 1u + 1u + 2u + 2u);
    EXPECT_EQ(seen.Ioctl(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION), 2u * 3u);
    // USB and Class opened and found empty, for each of the two keys named.
    EXPECT_EQ(seen.registry, 2u * (1u + 1u));
}

}  // namespace
