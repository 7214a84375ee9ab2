// The menu and accelerator commands and device events, over the simulated PC.
#include <gtest/gtest.h>

#include <functional>

#include "app/command_ids.h"
#include "app/menu_commands.h"
#include "sim/recording_shell.h"
#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tests/support/tree_snapshot.h"
#include "tree/topology_scan.h"

using namespace topology_builder;
using Log = std::vector<std::string>;

namespace {

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_ = std::make_unique<SimSession>(OneController(
            Ports(HubPort(1, Hub("EXT", 4, Ports(Device(3, 0x046D, 0xC077, "", 0)))), Device(2, 0x0781, 0x5567, "", 2),
                  EmptyPort(4)),
            4));
        RefreshTree();
    }

    void TearDown() override
    {
        EXPECT_EQ(session_->Leftovers(true), "");
        session_.reset();
        AutoRefreshEnabled = 0;
        AdviceWindowEnabled = 0;
        ShowUnusedPorts = 0;
        ShowUnusedControllers = 0;
    }

    void Command(int command) { HandleMenuCommand(nullptr, command, 0, 0); }
    uint64_t Scans() const { return session_->Usb().Count().setsOpened; }
    void Select(const std::string& label)
    {
        const auto* item = FindItem(session_->Tree(), label);
        ASSERT_NE(item, nullptr) << label;
        session_->Tree().Select(const_cast<MemoryTree::Item*>(item));
    }

    std::unique_ptr<SimSession> session_;
    RecordingShell& Shell() { return session_->Shell(); }
};

}  // namespace

// Auto-refresh and the advice window flip their flag and check mark and
// scan nothing; the advice window opens on topic 100 and closes with -1.
TEST_F(CommandTest, TogglesFlipTheirFlagAndCheckMarkOnly)
{
    const uint64_t scans = Scans();
    for (const auto& [command, flag] : {std::pair{CommandAutoRefresh, &AutoRefreshEnabled},
                                        std::pair{CommandAdviceWindow, &AdviceWindowEnabled}})
        for (int on : {1, 0}) {
            Command(command);
            EXPECT_EQ(*flag, on) << command;
            EXPECT_EQ(Shell().checks[command], on == 1) << command;
        }
    EXPECT_EQ(Scans(), scans);
    EXPECT_EQ(session_->Help().Topics(), (std::vector<int>{100, -1}));
}

// The check mark is set before the rebuild; one the menu refuses still
// flips the option.
TEST_F(CommandTest, ViewOptionsSetTheirMarkThenRebuildTheTreeWithTheNewFilter)
{
    // Notes how many scans had run when a check mark was set.
    struct OrderShell : RecordingShell {
        std::function<uint64_t()> scans;
        std::vector<uint64_t> scansAtCheck;
        bool SetMenuCheck(int command, bool checked) override
        {
            scansAtCheck.push_back(scans());
            return RecordingShell::SetMenuCheck(command, checked);
        }
    } shell;
    shell.scans = [this] { return Scans(); };
    ActiveShell = &shell;
    const uint64_t before = Scans();
    Command(CommandUnusedPorts);
    Command(CommandUnusedControllers);
    EXPECT_EQ(shell.scansAtCheck, (std::vector<uint64_t>{before, before + 1}));
    EXPECT_EQ(Scans(), before + 2);
    EXPECT_TRUE(ShowUnusedPorts && ShowUnusedControllers && shell.checks[CommandUnusedPorts] &&
                shell.checks[CommandUnusedControllers]);
    EXPECT_NE(FindItem(session_->Tree(), "[Port4] "), nullptr);
    Command(CommandUnusedPorts);
    EXPECT_EQ(FindItem(session_->Tree(), "[Port4] "), nullptr);

    shell.refuseChecks = true;
    Command(CommandUnusedPorts);
    EXPECT_EQ(ShowUnusedPorts, 1);
    EXPECT_FALSE(shell.checks[CommandUnusedPorts]);
    EXPECT_EQ(shell.log.back(), "check 40008 1");
    EXPECT_EQ(Scans(), before + 4);
    ActiveShell = &Shell();
}

// Exit unregisters the device notification, closing does not; both free
// the tree.
TEST_F(CommandTest, AboutBoxExitAndClose)
{
    Command(CommandAbout);
    EXPECT_EQ(Shell().log, (Log{"about"}));
    Command(CommandExit);
    EXPECT_EQ(Shell().log, (Log{"about", "unregister", "quit 0", "end 0"}));
    EXPECT_EQ(session_->Tree().ItemCount(), 0u);
    EXPECT_EQ(session_->Memory().LiveBlocks(), 0u);
    RefreshTree();
    Shell().log.clear();
    CloseMainWindow(nullptr);
    EXPECT_EQ(Shell().log, (Log{"quit 0", "end 0"}));
    EXPECT_EQ(session_->Tree().ItemCount(), 0u);
    EXPECT_EQ(RootItem, nullptr);
}

TEST_F(CommandTest, IdsOutsideTheCommandsDoNothing)
{
    const uint64_t scans = Scans();
    for (int command : {1, 2, 40000, 40004, 40006, 40007, 40009, 40011, 40012, 40015})
        Command(command);
    EXPECT_TRUE(Shell().log.empty());
    EXPECT_EQ(Scans(), scans);
    EXPECT_TRUE(session_->Help().calls.empty());
}

// The parent hub is asked for the selected port, also an empty one shown
// as unused; the root, a controller, a root hub and no selection are not
// cycled.
TEST_F(CommandTest, CyclePortAsksTheParentHubForTheSelectedPort)
{
    Command(CommandCyclePort);
    for (const char* label : {"My Computer", "HC", "RootHub", "[Port2] ", "[Port3] ", "[Port1] : "}) {
        Select(label);
        Command(CommandCyclePort);
    }
    Command(CommandUnusedPorts);
    Select("[Port4] ");  // the first one shown: port 4 of EXT
    Command(CommandCyclePort);
    using Cycle = std::pair<std::string, uint32_t>;
    EXPECT_EQ(session_->Usb().Cycles(), (std::deque<Cycle>{{"ROOT", 2}, {"EXT", 3}, {"ROOT", 1}, {"EXT", 4}}));
    EXPECT_EQ(session_->Usb().OpenHandles(), 0u);
    EXPECT_EQ(Shell().log, (Log{"check 40008 1"}));
}

// A hub that does not open gives the one beep; a cycle the hub refuses, for
// the port or because the program runs without administrator rights, is
// silent; none refreshes.
TEST_F(CommandTest, CyclePortBeepsOnlyWhenTheHubDoesNotOpen)
{
    Select("[Port2] ");
    const auto treeBefore = TreeLines(session_->Tree());
    const uint64_t scans = Scans();
    SimHub& root = *session_->Topology().controllers[0].rootHub;
    root.open = false;
    Command(CommandCyclePort);
    EXPECT_EQ(Shell().log, (Log{"beep 16"}));
    root.open = true;
    root.ports[1].fail.insert("cycle_port");
    Command(CommandCyclePort);
    root.ports[1].fail.clear();
    session_->Topology().callerElevated = false;
    Command(CommandCyclePort);
    EXPECT_EQ(Shell().log, (Log{"beep 16"}));
    EXPECT_EQ(session_->Usb().Count().ioctl.at(0x220444), 2u) << "both refused cycles reach the hub driver";
    EXPECT_TRUE(session_->Usb().Cycles().empty());
    EXPECT_EQ(Scans(), scans);
    EXPECT_EQ(TreeLines(session_->Tree()), treeBefore);
}

// Arrival and removal refresh while auto refresh is on, and show the change.
TEST_F(CommandTest, DeviceEventsRefreshOnlyWhileAutoRefreshIsOn)
{
    const uint64_t scans = Scans();
    OnDeviceChange(nullptr, kDeviceArrival);
    EXPECT_EQ(Scans(), scans);
    Command(CommandAutoRefresh);
    OnDeviceChange(nullptr, kDeviceRemoveComplete);
    OnDeviceChange(nullptr, 0x8001);  // query remove
    OnDeviceChange(nullptr, 0x0007);  // devnodes changed
    session_->Topology().controllers[0].rootHub->ports.push_back(Device(3, 0x413C, 0x2113));
    OnDeviceChange(nullptr, kDeviceArrival);
    EXPECT_EQ(Scans(), scans + 2);
    EXPECT_NE(FindItem(session_->Tree(), "[Port3] "), nullptr);
    EXPECT_EQ(session_->Status().Text(), "Connected Hubs: 1   Other Devices: 3");
}
