// A thousand refreshes of a large PC with devices coming and going between
// them, the panel read after each: nothing grows and nothing stays open.
#include <gtest/gtest.h>

#include <functional>

#include "assess/property_panel.h"
#include "sim/sim_session.h"
#include "tests/support/topology_builder.h"
#include "tree/topology_scan.h"

using namespace testing_topology;

namespace {

SimTopology LargePc()
{
    SimTopology topology;
    for (int c = 0; c < 4; ++c) {
        auto root = Hub("ROOT-" + std::to_string(c), 10);
        for (uint32_t port = 1; port <= 10; ++port) {
            if (port % 3 == 0) {
                auto hub = Hub("HUB-" + std::to_string(c) + "-" + std::to_string(port), 7);
                for (uint32_t inner = 1; inner <= 7; ++inner) {
                    const std::string key = "{k}\\" + std::to_string(c * 100 + port * 10 + inner);
                    AddDriver(topology, key, "Driver " + key, "VID_0781&PID_" + key.substr(4) + "\\inst");
                    SimPort device = Device(inner, 0x0781, static_cast<uint16_t>(inner), key, 2);
                    device.deviceDescriptor = DeviceDescriptor(0x0781, static_cast<uint16_t>(inner), 1, 2, 3);
                    device.languages = {0x0409, 0x0407};
                    for (uint8_t index = 1; index <= 3; ++index) {
                        device.strings[index][0x0409] = u"Device";
                        device.strings[index][0x0407] = u"Ger\u00e4t";
                    }
                    hub->ports.push_back(std::move(device));
                }
                root->ports.push_back(HubPort(port, std::move(hub)));
            } else {
                root->ports.push_back(Device(port, 0x046D, static_cast<uint16_t>(port), "", 0));
            }
        }
        topology.controllers.push_back(ControllerWith("HC " + std::to_string(c), std::move(root)));
    }
    return topology;
}

// Every fifth port of every hub changes between connected and empty.
void ToggleDevices(SimTopology& topology, int round)
{
    int counter = 0;
    std::function<void(SimHub&)> visit = [&](SimHub& hub) {
        for (auto& port : hub.ports) {
            if (port.hub)
                visit(*port.hub);
            else if (++counter % 5 == round % 5)
                port.status = port.status ? 0 : 1;
        }
    };
    for (auto& controller : topology.controllers)
        visit(*controller.rootHub);
}

void SelectAll(MemoryTree& tree, const std::vector<std::unique_ptr<MemoryTree::Item>>& items, int* selected)
{
    for (const auto& item : items) {
        tree.Select(item.get());
        ++*selected;
        SelectAll(tree, item->children, selected);
    }
}

}  // namespace

TEST(Soak, ThousandRefreshesWithArrivalsAndRemovalsLeaveNothingBehind)
{
    SimSession session(LargePc());
    ShowUnusedPorts = 1;
    AdviceWindowEnabled = 1;
    size_t bytesAfterFirst = 0;
    size_t blocksAfterFirst = 0;
    std::string statusAfterFirst;
    int selected = 0;
    for (int round = 0; round < 1000; ++round) {
        // Rounds 0 and 999 see the same PC: every change of an odd round is
        // undone by the next round.
        if (round % 2 == 1)
            ToggleDevices(session.Topology(), round);
        else if (round > 0)
            ToggleDevices(session.Topology(), round - 1);
        RefreshTree();
        ASSERT_EQ(session.Usb().OpenHandles(), 0u) << "round " << round;
        ASSERT_EQ(session.Registry().OpenKeys(), 0u) << "round " << round;
        SelectAll(session.Tree(), session.Tree().TopLevel(), &selected);
        ASSERT_FALSE(session.Advice().calls.empty());
        session.PanelControls().ClearLog();
        session.Advice().calls.clear();
        if (round == 0) {
            bytesAfterFirst = session.Memory().LiveBytes();
            blocksAfterFirst = session.Memory().LiveBlocks();
            statusAfterFirst = session.Status().Text();
        }
    }
    ToggleDevices(session.Topology(), 999);
    RefreshTree();
    EXPECT_EQ(session.Status().Text(), statusAfterFirst);
    EXPECT_EQ(session.Memory().LiveBytes(), bytesAfterFirst);
    EXPECT_EQ(session.Memory().LiveBlocks(), blocksAfterFirst);
    EXPECT_GT(selected, 100000);
    ClearTree();
    EXPECT_EQ(session.Memory().LiveBlocks(), 0u);
    ShowUnusedPorts = 0;
    AdviceWindowEnabled = 0;
}
