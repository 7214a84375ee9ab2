// Every buffer the scan reads ends in exactly one record or is released, on
// every path: failing allocations and insertions here, failing platform
// replies in the fuzzer.
#include <gtest/gtest.h>

#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tests/support/tree_snapshot.h"
#include "tree/topology_scan.h"

using namespace topology_builder;
using Lines = std::vector<std::string>;

namespace {

// Two controllers; the first with an external hub, strings in two languages,
// an empty port, a failed device; the second with one device.
SimTopology RichTopology()
{
    SimTopology topology;
    SimPort stick = Device(1, 0x0781, 0x5567, "{k}\\0001", 2);
    stick.deviceDescriptor = DeviceDescriptor(0x0781, 0x5567, 1, 2, 3);
    stick.configDescriptors = {ConfigSet({Interface(0, 2, 8, 4), Endpoint(0x81, 2, 512), Endpoint(0x02, 2, 512)}, 5)};
    stick.languages = {0x0409, 0x0407};
    for (uint8_t index = 1; index <= 5; ++index) {
        stick.strings[index][0x0409] = u"text";
        stick.strings[index][0x0407] = u"Text";
    }
    SimPort failed = With(Device(3, 1, 1, "{k}\\0003"), [](SimPort& p) { p.status = 2; });
    topology.controllers.push_back(ControllerWith(
        "xHCI", Hub("ROOT-A", 3,
                    Ports(HubPort(1, Hub("EXT", 4, Ports(std::move(stick), EmptyPort(2), std::move(failed))), "{k}\\0002"),
                          EmptyPort(2), Device(3, 0x046D, 0xC077, "{k}\\0004", 0)))));
    topology.controllers.push_back(
        ControllerWith("EHCI", Hub("ROOT-B", 1, Ports(Device(1, 0x413C, 0x2113, "{k}\\0005", 0)))));

    for (int i = 1; i <= 5; ++i) {
        std::string key = "{k}\\000" + std::to_string(i);
        AddDriver(topology, key, "Driver " + std::to_string(i), "VID_" + std::to_string(i) + "\\inst");
    }
    return topology;
}

class OwnershipTest : public ::testing::Test {
protected:
    void SetUp() override { ShowUnusedPorts = 1; }
    void TearDown() override
    {
        ShowUnusedPorts = 0;
        ShowUnusedControllers = 0;
    }
};

}  // namespace

// The n-th allocation or tree insertion fails, for every n a refresh makes.
TEST_F(OwnershipTest, EverySingleFailedAllocationOrInsertionLeavesNothingBehind)
{
    uint64_t allocations = 0;
    size_t items = 0;
    {
        SimSession session(RichTopology());
        RefreshTree();
        allocations = session.Memory().Allocations();
        items = session.Tree().ItemCount();
        EXPECT_EQ(session.Leftovers(true), "") << "without failure";
    }
    ASSERT_GT(allocations, 40u);
    for (const bool insertion : {false, true})
        for (uint64_t n = 1; n <= (insertion ? items : allocations); ++n) {
            SimSession session(RichTopology());
            if (insertion)
                session.Tree().FailAppend(static_cast<int>(n));
            else
                session.Memory().FailAllocation(n);
            RefreshTree();
            EXPECT_EQ(session.Memory().Failures(), insertion ? 0u : 1u);
            EXPECT_EQ(session.Leftovers(true), "") << (insertion ? "insertion " : "allocation ") << n << " failed";
        }
}

// One block of a kind that cannot be allocated: what stays of the tree.
TEST_F(OwnershipTest, BlockThatCannotBeAllocatedDropsOnlyItsPart)
{
    const Lines second = {"1|EHCI|1", "2|RootHub|2", "3|[Port1] : Driver 5|4"};
    const struct {
        const char* what;
        size_t bytes;
        int nth;
        Lines firstController;
    } cases[] = {
        // The lost controller was never scanned, so its ports are not counted.
        {"the first controller's record", kControllerRecordBytes, 1, {}},
        // Root hub A port 1 (the hub), then hub ports 1 and 2: the hub's ports end.
        {"the third connection buffer", kConnectionInfoBytes, 3,
         {"1|xHCI|1", "2|RootHub|2", "3|[Port1] : Driver 2|2", "4|[Port1] : Driver 1|4", "3|[Port2] |3",
          "3|[Port3] : Driver 4|4"}},
        // Root hub A, external hub, then the stick's record: the hub's ports end.
        {"the third port record", sizeof(TreeNodeInfo), 3,
         {"1|xHCI|1", "2|RootHub|2", "3|[Port1] : Driver 2|2", "3|[Port2] |3", "3|[Port3] : Driver 4|4"}},
    };
    for (const auto& c : cases) {
        SimSession session(RichTopology());
        int seen = 0;
        session.Memory().FailWhen([&](size_t bytes) { return bytes == c.bytes && ++seen == c.nth; });
        RefreshTree();
        Lines expected = {"0|My Computer|0"};
        expected.insert(expected.end(), c.firstController.begin(), c.firstController.end());
        expected.insert(expected.end(), second.begin(), second.end());
        EXPECT_EQ(TreeLines(session.Tree()), expected) << c.what;
        EXPECT_TRUE(!c.firstController.empty() || session.Status().Text() == "Connected Hubs: 0   Other Devices: 1");
        EXPECT_EQ(session.Leftovers(true), "") << c.what;
    }
}

TEST_F(OwnershipTest, RemovedControllerLeavesOtherControllersRecordsAlone)
{
    ShowUnusedPorts = 0;
    SimTopology topology = RichTopology();
    // Nothing connected below the first controller any more.
    topology.controllers[0].rootHub->ports = Ports(EmptyPort(1));
    SimSession session(std::move(topology));
    RefreshTree();
    EXPECT_EQ(TreeLines(session.Tree()),
              (Lines{"0|My Computer|0", "1|EHCI|1", "2|RootHub|2", "3|[Port1] : Driver 5|4"}));
    const auto* device = FindItem(session.Tree(), "[Port1] : Driver 5");
    EXPECT_STREQ(static_cast<TreeNodeInfo*>(device->param)->PnpInstanceId, "USB\\VID_5\\inst");
    EXPECT_EQ(session.Leftovers(true), "") << "removed controller";
}
