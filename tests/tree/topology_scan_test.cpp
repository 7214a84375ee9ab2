// The scan of controllers, hubs and ports into the device tree, by scenario.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tests/support/pass_through.h"
#include "tests/support/tree_snapshot.h"
#include "tree/registry_platform.h"
#include "tree/topology_scan.h"

using namespace topology_builder;
using Lines = std::vector<std::string>;

namespace {

class ScanTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ShowUnusedPorts = 0;
        ShowUnusedControllers = 0;
    }

    // Runs a refresh, then checks that nothing is left open.
    void Scan(SimSession& session)
    {
        RefreshTree();
        EXPECT_EQ(session.Leftovers(false), "") << "after the scan";
    }

    // Scans, returns the tree's lines and checks that clearing the tree
    // leaves nothing behind.
    Lines ScanLines(SimTopology topology, std::string* status = nullptr)
    {
        SimSession session(std::move(topology));
        Scan(session);
        const Lines lines = TreeLines(session.Tree());
        if (status)
            *status = session.Status().Text();
        EXPECT_EQ(session.Leftovers(true), "");
        return lines;
    }
};

}  // namespace

TEST_F(ScanTest, NoControllerSetLeavesOnlyTheRootAndZeroCounts)
{
    SimTopology topology;
    topology.controllerSet = false;
    std::string status;
    EXPECT_EQ(ScanLines(std::move(topology), &status), (Lines{"0|My Computer|0"}));
    EXPECT_EQ(status, "Connected Hubs: 0   Other Devices: 0");
}

TEST_F(ScanTest, EveryItemWithChildrenIsExpandedAndRecordsMatchTheirPlace)
{
    // A four-port hub on root hub port 2 with a configured device on its port 1.
    SimSession session(OneController(Ports(HubPort(2, Hub("EXT", 4, Ports(Device(1, 0x046D, 0xC52B))))), 2));
    Scan(session);
    // Down the first children: expanded, kind, hub name, port, hub ports, vendor.
    Lines seen;
    for (const auto* item = session.Tree().TopLevel().front().get(); item;
         item = item->children.empty() ? nullptr : item->children.front().get()) {
        const auto* r = static_cast<const TreeNodeInfo*>(item->param);
        std::string line = item->expanded ? "+" : "-";
        if (r)
            line += " " + std::to_string(r->Kind);
        if (r && r->Kind != Controller)  // a controller's record is its kind alone
            line += std::string(" ") + (r->HubName ? r->HubName : "-") + " " +
                    (r->ConnectionInfo ? std::to_string(r->ConnectionInfo->ConnectionIndex) + " " +
                                             std::to_string(r->ConnectionInfo->DeviceDescriptor.idVendor)
                                       : "-") +
                    " " + (r->NodeInfo ? std::to_string(r->NodeInfo->u.HubInformation.HubDescriptor.bNumberOfPorts) : "-");
        seen.push_back(line);
    }
    EXPECT_EQ(seen, (Lines{"+", "+ 0", "+ 1 ROOT - 2", "+ 2 EXT 2 1507 4", "- 3 - 1 1133 -"}));
    EXPECT_EQ(session.Leftovers(true), "");
}

// A controller whose root hub cannot be read: what stays of it, with the
// unused controllers hidden and shown; the controller after it is scanned.
TEST_F(ScanTest, ControllerWhoseRootHubCannotBeReadKeepsNoPorts)
{
    const Lines bare = {"0|My Computer|0", "1|HC|1"};
    const Lines none = {"0|My Computer|0"};
    const struct {
        const char* what;
        std::function<void(SimController&)> change;
        Lines hidden, shown;
    } cases[] = {
        {"no root hub", [](SimController& c) { c.rootHub.reset(); }, bare, bare},
        {"name probe fails", [](SimController& c) { c.fail.insert("root_hub_name_probe"); }, bare, bare},
        {"name fails", [](SimController& c) { c.fail.insert("root_hub_name"); }, bare, bare},
        {"root hub does not open", [](SimController& c) { c.rootHub->open = false; }, none, bare},
        {"stopped root hub, empty name", [](SimController& c) { c.rootHub->name.clear(); }, none, bare},
        {"node query fails", [](SimController& c) { c.rootHub->nodeQuery = false; }, none, bare},
        {"no interface", [](SimController& c) { c.fail.insert("interface"); }, none, none},
        {"no path", [](SimController& c) { c.fail.insert("path"); }, none, none},
        {"controller does not open", [](SimController& c) { c.open = false; }, none, none},
    };
    for (const auto& c : cases) {
        for (int shown : {0, 1}) {
            SimTopology topology = OneController(Ports(Device(1, 1, 1)));
            c.change(topology.controllers[0]);
            topology.controllers.push_back(ControllerWith("D", Hub("HUB-D", 1, Ports(Device(1, 1, 1)))));
            ShowUnusedControllers = shown;
            std::string status;
            Lines expected = shown ? c.shown : c.hidden;
            expected.insert(expected.end(), {"1|D|1", "2|RootHub|2", "3|[Port1] |4"});
            EXPECT_EQ(ScanLines(std::move(topology), &status), expected) << c.what << (shown ? ", shown" : "");
            EXPECT_EQ(status, "Connected Hubs: 0   Other Devices: 1") << c.what;
        }
    }
}

TEST_F(ScanTest, ControllerDescriptionFallsBackWhenMissingOrTooLong)
{
    SimTopology topology;
    for (int i = 0; i < 3; ++i)
        topology.controllers.push_back(ControllerWith("", Hub("HUB" + std::to_string(i), 1, Ports(Device(1, 1, 1)))));
    topology.controllers[0].description.reset();
    topology.controllers[1].description = std::string(199, 'x');
    topology.controllers[2].description = std::string(200, 'y');
    const Lines lines = ScanLines(std::move(topology));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1], "1|Host Controller|1");
    EXPECT_EQ(lines[4], "1|" + std::string(199, 'x') + "|1");
    EXPECT_EQ(lines[7], "1|Host Controller|1");
}

// A failing enumeration ends the controller list.
TEST_F(ScanTest, ControllersKeepEnumerationOrderUpToTheFirstFailure)
{
    SimTopology topology;
    for (const char* name : {"first", "second", "third"})
        topology.controllers.push_back(ControllerWith(name, Hub(std::string("H-") + name, 1, Ports(Device(1, 1, 1)))));
    topology.controllers[2].fail.insert("enum");
    SimSession session(std::move(topology));
    Scan(session);
    EXPECT_EQ(TreeLines(session.Tree()), (Lines{"0|My Computer|0", "1|first|1", "2|RootHub|2", "3|[Port1] |4",
                                                "1|second|1", "2|RootHub|2", "3|[Port1] |4"}));
    EXPECT_EQ(session.Usb().Count().setsClosed, 1u);
    EXPECT_EQ(session.Leftovers(true), "");
}

// Notes the paths opened.
class OpenedPaths : public RegistryPassThrough {
public:
    std::vector<std::string> paths;

    RegistryKey OpenKey(RegistryKey parent, const char* path) override
    {
        paths.push_back(path);
        return RegistryPassThrough::OpenKey(parent, path);
    }
    RegistryKey OpenKeyEx(RegistryKey parent, const char* path, uint32_t access) override
    {
        paths.push_back(path);
        return RegistryPassThrough::OpenKeyEx(parent, path, access);
    }
};

TEST_F(ScanTest, InstanceIdIsLookedUpBeforeTheDriverDescription)
{
    SimTopology topology = OneController(Ports(Device(1, 1, 1, "{k}\\0001")));
    AddDriver(topology, "{k}\\0001", "USB-Eingabeger\xE4t", "VID_0001&PID_0001\\1");
    SimSession session(std::move(topology));
    OpenedPaths opened;
    RefreshTree();
    std::vector<std::string> lookups;
    for (const std::string& path : opened.paths)
        if (path.rfind("System\\CurrentControlSet\\", 0) == 0)
            lookups.push_back(path.substr(strlen("System\\CurrentControlSet\\")));
    EXPECT_EQ(lookups, (std::vector<std::string>{"Enum\\USB", "Control\\Class"}));
    EXPECT_EQ(session.Leftovers(true), "");
}

// Labels follow the driver description; images tell empty, configured,
// unconfigured ports and hubs apart; a hub without ports has no children;
// a device that failed enumeration is shown and looked up, not counted, in
// the default view too, where only the empty port is left out.
TEST_F(ScanTest, PortLabelsAndImagesFollowDescriptionAndState)
{
    for (int shown : {1, 0}) {
        SimTopology topology = OneController(Ports(EmptyPort(1), Device(2, 1, 1, "{k}\\0001"),
                                                   With(Device(3, 1, 1), [](SimPort& p) { p.configValue = 0; }),
                                                   HubPort(4, Hub("EXT", 0), "{k}\\0002"),
                                                   With(Device(5, 1, 1, "{k}\\0007"), [](SimPort& p) {
                                                       p.status = 2;  // DeviceFailedEnumeration
                                                       p.configValue = 0;
                                                   })));
        AddDriver(topology, "{k}\\0001", "USB-Verbundger\xE4t");
        AddDriver(topology, "{k}\\0002", "");
        AddDriver(topology, "{k}\\0007", "Unbekanntes USB-Ger\xE4t");
        ShowUnusedPorts = shown;
        Lines expected = {"0|My Computer|0", "1|HC|1", "2|RootHub|2"};
        if (shown)
            expected.push_back("3|[Port1] |" + std::to_string(ImageNoDevice));
        expected.insert(expected.end(), {"3|[Port2] : USB-Verbundger\xE4t|" + std::to_string(ImageDevice),
                                         "3|[Port3] |" + std::to_string(ImageDeviceProblem),
                                         "3|[Port4] : |" + std::to_string(ImageHub),
                                         "3|[Port5] : Unbekanntes USB-Ger\xE4t|" + std::to_string(ImageDeviceProblem)});
        std::string status;
        EXPECT_EQ(ScanLines(std::move(topology), &status), expected) << "unused ports shown: " << shown;
        EXPECT_EQ(status, "Connected Hubs: 1   Other Devices: 2");
    }
}

TEST_F(ScanTest, FallbackQueryGivesLowOrFullSpeedOnly)
{
    std::vector<SimPort> ports;
    for (uint8_t speed : {0, 1, 2})
        ports.push_back(With(Device(speed + 1u, 1, 1), [speed](SimPort& p) {
            p.speed = speed;
            p.fail.insert("connection_ex");
        }));
    SimSession session(OneController(std::move(ports)));
    Scan(session);
    const auto& items = session.Tree().TopLevel().front()->children.front()->children.front()->children;
    ASSERT_EQ(items.size(), 3u);
    const uint8_t expected[] = {0, 1, 1};
    for (size_t i = 0; i < 3; ++i) {
        const auto* info = static_cast<const TreeNodeInfo*>(items[i]->param)->ConnectionInfo;
        EXPECT_EQ(info->Speed, expected[i]) << "port " << i + 1;
        EXPECT_EQ(info->ConnectionIndex, i + 1);
        EXPECT_EQ(static_cast<uint32_t>(info->ConnectionStatus), 1u);
        EXPECT_EQ(info->CurrentConfigurationValue, 1);
        EXPECT_EQ(static_cast<uint32_t>(info->NumberOfOpenPipes), 1u);
        EXPECT_EQ(info->PipeList[0].EndpointDescriptor.bEndpointAddress, 0x81);
    }
    EXPECT_EQ(session.Usb().Count().ioctl.at(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION), 3u);
    EXPECT_EQ(session.Leftovers(true), "");
}

// A port whose both queries fail is neither counted nor shown.
TEST_F(ScanTest, PortsThatCannotBeQueriedAreLeftOut)
{
    ShowUnusedPorts = 1;
    std::string status;
    EXPECT_EQ(ScanLines(OneController(Ports(With(Device(1, 1, 1), [](SimPort& p) { p.fail = {"connection_ex", "connection"}; }),
                                            Device(2, 1, 1))),
                        &status),
              (Lines{"0|My Computer|0", "1|HC|1", "2|RootHub|2", "3|[Port2] |4"}));
    EXPECT_EQ(status, "Connected Hubs: 0   Other Devices: 1");
}

TEST_F(ScanTest, HubFlagCountsWhateverTheConnectionStatus)
{
    // Not enough power: the hub still gets its item; "Other Devices" goes negative.
    ShowUnusedControllers = 1;
    std::string status;
    const Lines lines = ScanLines(
        OneController(Ports(With(HubPort(1, Hub("EXT", 2), "{k}\\0001"), [](SimPort& p) { p.status = 5; }))), &status);
    EXPECT_EQ(status, "Connected Hubs: 1   Other Devices: -1");
    EXPECT_EQ(lines.back(), "3|[Port1] : |2");
}

// Counted all the same: a hub without a name gets no item, one that does
// not open loses its subtree.
TEST_F(ScanTest, ExternalHubWithoutNameOrHandleLosesItsItemOrSubtree)
{
    for (const char* step : {"hub_name_probe", "hub_name"}) {
        std::string status;
        EXPECT_EQ(ScanLines(OneController(Ports(With(HubPort(1, Hub("EXT", 1, Ports(Device(1, 1, 1)))),
                                                     [step](SimPort& p) { p.fail.insert(step); }))),
                            &status),
                  (Lines{"0|My Computer|0", "1|HC|1", "2|RootHub|2"}))
            << step;
        EXPECT_EQ(status, "Connected Hubs: 1   Other Devices: 0");
    }
    SimTopology topology = OneController(Ports(HubPort(1, Hub("EXT", 1, Ports(Device(1, 1, 1)))), Device(2, 1, 1)));
    topology.controllers[0].rootHub->ports[0].hub->open = false;
    std::string status;
    EXPECT_EQ(ScanLines(std::move(topology), &status),
              (Lines{"0|My Computer|0", "1|HC|1", "2|RootHub|2", "3|[Port2] |4"}));
    EXPECT_EQ(status, "Connected Hubs: 1   Other Devices: 1");
}

// A hub driver that reports the name of a hub above it as a child's name;
// the same name on two branches is no loop: each opens it and shows it.
TEST_F(ScanTest, HubNamingAnAncestorIsRefusedLikeOneWithoutName)
{
    for (const char* echoed : {"ROOT", "root", "EXT"}) {
        SimSession session(
            OneController(Ports(HubPort(1, Hub("EXT", 2, Ports(HubPort(1, Hub(echoed, 2)), Device(2, 1, 1)))),
                                Device(2, 1, 1))));
        Scan(session);
        EXPECT_EQ(TreeLines(session.Tree()), (Lines{"0|My Computer|0", "1|HC|1", "2|RootHub|2", "3|[Port1] : |2",
                                                    "4|[Port2] |4", "3|[Port2] |4"}))
            << echoed;
        EXPECT_EQ(session.Status().Text(), "Connected Hubs: 2   Other Devices: 2") << echoed;
        EXPECT_EQ(session.Usb().Count().opens, 3u) << "controller, root hub, EXT; the echo is not opened";
        EXPECT_EQ(session.Usb().Count().closes, 3u);
        EXPECT_EQ(session.Leftovers(true), "");
    }
    EXPECT_EQ(ScanLines(OneController(Ports(HubPort(1, Hub("EXT", 1, Ports(Device(1, 1, 1)))),
                                            HubPort(2, Hub("EXT", 1, Ports(Device(1, 1, 1))))))),
              (Lines{"0|My Computer|0", "1|HC|1", "2|RootHub|2", "3|[Port1] : |2", "4|[Port1] |4", "3|[Port2] : |2",
                     "4|[Port1] |4"}));
}

TEST_F(ScanTest, PathOfHubsEndsAfterSixteen)
{
    // A chain of hubs, each on port 1 of the one above, a device on port 2
    // of each: the root hub and fifteen external hubs are scanned.
    std::unique_ptr<SimHub> below;
    for (int level = 20; level >= 1; --level) {
        std::vector<SimPort> ports;
        if (below)
            ports.push_back(HubPort(1, std::move(below)));
        ports.push_back(Device(2, 1, static_cast<uint16_t>(level)));
        below = Hub("HUB-" + std::to_string(level), 2, std::move(ports));
    }
    SimTopology topology;
    topology.controllers.push_back(ControllerWith("HC", std::move(below)));
    SimSession session(std::move(topology));
    Scan(session);
    int deepestHub = 0;
    int hubs = 0;
    for (const std::string& line : TreeLines(session.Tree())) {
        if (line.back() == '2') {
            ++hubs;
            deepestHub = std::max(deepestHub, std::stoi(line));
        }
    }
    EXPECT_EQ(hubs, 16);
    EXPECT_EQ(deepestHub, 17) << "root hub at depth 2, the fifteenth external hub at 17";
    EXPECT_EQ(session.Usb().Count().opens, 17u);
    EXPECT_EQ(session.Leftovers(true), "");
}
