// The largest topologies and descriptors a real bus allows are scanned,
// shown and released like small ones.
#include <gtest/gtest.h>

#include "assess/property_panel.h"
#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tests/support/tree_snapshot.h"
#include "tree/topology_scan.h"

using namespace topology_builder;

namespace {

// A class-specific descriptor (type 0x24) of length bytes.
std::vector<uint8_t> ClassDescriptor(uint8_t length)
{
    std::vector<uint8_t> descriptor(length, 0x24);
    descriptor[0] = length;
    return descriptor;
}

}  // namespace

TEST(BusLimits, HubOf255Ports)
{
    std::vector<SimPort> ports;
    for (uint32_t port = 1; port <= 255; ++port)
        ports.push_back(Device(port, 0x0781, 0x5567));
    SimSession session(OneController(std::move(ports)));
    RefreshTree();
    EXPECT_EQ(session.Status().Text(), "Connected Hubs: 0   Other Devices: 255");
    EXPECT_NE(FindItem(session.Tree(), "[Port255] "), nullptr);
    EXPECT_EQ(session.Usb().Count().ioctl.at(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX), 255u);
    EXPECT_EQ(session.Leftovers(true), "");
}

TEST(BusLimits, ConfigurationSetOf65535Bytes)
{
    // One interface with an isochronous endpoint, then class-specific
    // descriptors of 255 bytes and a last one that ends the set exactly.
    std::vector<std::vector<uint8_t>> body = {Interface(0, 1, 1, 5), Endpoint(0x81, 1, 1024, 1)};
    size_t total = 9 + 9 + 7;
    for (; 65535 - total >= 255 + 2; total += 255)
        body.push_back(ClassDescriptor(255));
    body.push_back(ClassDescriptor(static_cast<uint8_t>(65535 - total)));
    const std::vector<uint8_t> set = ConfigSet(body);
    ASSERT_EQ(set.size(), 65535u);
    SimSession session(OneController(Ports(With(Device(1, 0x046D, 0x0825, "", 2), [&set](SimPort& p) {
        p.configDescriptors = {set};
        p.languages = {0x0409};
        p.strings[5][0x0409] = u"Video";
    }))));
    RefreshTree();
    const auto* item = FindItem(session.Tree(), "[Port1] ");
    ASSERT_NE(item, nullptr);
    const auto* record = static_cast<const TreeNodeInfo*>(item->param);
    ASSERT_NE(record->ConfigRequest, nullptr);
    EXPECT_EQ(ConfigDescriptorOf(record->ConfigRequest)->wTotalLength, 65535);
    ASSERT_NE(record->StringList, nullptr);
    ASSERT_NE(record->StringList->Next, nullptr);
    EXPECT_EQ(record->StringList->Next->Index, 5);
    AdviceWindowEnabled = 1;
    session.Tree().Select(const_cast<MemoryTree::Item*>(item));
    AdviceWindowEnabled = 0;
    ASSERT_FALSE(session.Help().Topics().empty());
    EXPECT_EQ(session.Help().Topics().back(), 104);
    EXPECT_EQ(session.Leftovers(true), "");
}

TEST(BusLimits, DeviceWithTheMostLanguagesAStringDescriptorHolds)
{
    SimPort device = Device(1, 0x1234, 0x0001);
    device.deviceDescriptor = DeviceDescriptor(0x1234, 0x0001, 1, 2, 3);
    for (uint16_t i = 0; i < 126; ++i) {
        const uint16_t language = static_cast<uint16_t>(0x0400 + i);
        device.languages.push_back(language);
        for (uint8_t index = 1; index <= 3; ++index)
            device.strings[index][language] = u"text";
    }
    SimSession session(OneController(Ports(std::move(device))));
    RefreshTree();
    const auto* record = static_cast<const TreeNodeInfo*>(FindItem(session.Tree(), "[Port1] ")->param);
    int nodes = 0;
    for (const StringDescNode* node = record->StringList; node; node = node->Next)
        ++nodes;
    EXPECT_EQ(nodes, 1 + 3 * 126);
    EXPECT_EQ(record->StringList->Descriptor[0], 2 + 2 * 126);
    EXPECT_EQ(session.Leftovers(true), "");
}
