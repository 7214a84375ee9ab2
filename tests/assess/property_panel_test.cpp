// The property panel and the advice topic for each kind of selected item.
#include <gtest/gtest.h>

#include "assess/property_panel.h"
#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tests/support/tree_snapshot.h"
#include "tree/topology_scan.h"

using namespace topology_builder;

namespace {

constexpr uint16_t kEnglish = 0x0409;
constexpr uint16_t kGerman = 0x0407;

// Shape of a panel after a selection.
struct PanelView {
    std::string vendorId, vendorName, productId, productName, pnp, configurations, serial, speed;
    int bar;
    bool ctrl, bulk, intr, isoc;

    // The fields joined by '|', then the bar and the checked boxes' letters.
    std::string Line() const
    {
        return vendorId + "|" + vendorName + "|" + productId + "|" + productName + "|" + pnp + "|" + configurations +
               "|" + serial + "|" + speed + "|" + std::to_string(bar) + "|" + (ctrl ? "C" : "") + (bulk ? "B" : "") +
               (intr ? "I" : "") + (isoc ? "S" : "");
    }
};

class PanelTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (session_)
            ClearTree();
        session_.reset();
        AdviceWindowEnabled = 0;
        ShowUnusedPorts = 0;
        ShowUnusedControllers = 0;
    }

    // Scans a root hub with these ports and the registry entries given.
    void Scan(std::vector<SimPort> ports, SimTopology topology = {})
    {
        const uint32_t count = static_cast<uint32_t>(ports.size());
        topology.controllers.push_back(ControllerWith("HC", Hub("ROOT", count, std::move(ports))));
        session_ = std::make_unique<SimSession>(std::move(topology));
        RefreshTree();
    }

    void Select(const std::string& label)
    {
        const auto* item = FindItem(session_->Tree(), label);
        ASSERT_NE(item, nullptr) << label;
        session_->PanelControls().ClearLog();
        session_->Tree().Select(const_cast<MemoryTree::Item*>(item));
    }

    PanelView View()
    {
        const MemoryPanel& p = session_->PanelControls();
        return {p.Text(VendorIdField), p.Text(VendorNameField), p.Text(ProductIdField), p.Text(ProductNameField),
                p.Text(PnpInstanceField), p.Text(ConfigurationsField), p.Text(SerialField), p.Text(SpeedField),
                p.Bar(), p.Checked(ControlBox), p.Checked(BulkBox), p.Checked(InterruptBox), p.Checked(IsochronousBox)};
    }

    // The topic of the last selection, as shown in the advice window.
    int Topic()
    {
        const auto topics = session_->Help().Topics();
        return topics.empty() ? -1 : topics.back();
    }

    std::unique_ptr<SimSession> session_;
};

SimPort WithSet(SimPort port, std::vector<uint8_t> set)
{
    port.configDescriptors = {std::move(set)};
    return port;
}

}  // namespace

TEST_F(PanelTest, ClearingComesFirstInItsFixedOrder)
{
    Scan(Ports(Device(1, 0x046D, 0xC077, "", 0)));
    Select("[Port1] ");
    const auto& log = session_->PanelControls().Log();
    const std::vector<std::string> clearing = {
        "text 1003 ", "text 1004 ", "text 1005 ", "text 1006 ", "text 1019 ", "text 1015 ", "text 1014 ",
        "text 1008 ", "bar 1007 0", "check 1013 0", "check 1010 0", "check 1011 0", "check 1012 0"};
    ASSERT_GT(log.size(), clearing.size());
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + static_cast<long>(clearing.size())), clearing);
}

TEST_F(PanelTest, FullSpeedBulkOnlyDevice)
{
    SimPort port = WithSet(Device(1, 0x0781, 0x5567, "{k}\\1", 1),
                           ConfigSet({Interface(0, 2, 8), Endpoint(0x81, 2, 64), Endpoint(0x02, 2, 64)}));
    port.deviceDescriptor[17] = 1;
    SimTopology topology;
    AddDriver(topology, "{k}\\1", "USB-Massenspeicherger\xE4t", "VID_0781&PID_5567\\4C53");
    Scan(Ports(std::move(port)), std::move(topology));
    AdviceWindowEnabled = 1;
    Select("[Port1] : USB-Massenspeicherger\xE4t");
    EXPECT_EQ(View().Line(), "0781|SanDisk Corporation|5567||USB\\VID_0781&PID_5567\\4C53|1||Full Speed|2|CB");
    EXPECT_EQ(Topic(), 101);
}

TEST_F(PanelTest, SpeedAndIsochronousEndpointsChooseTheTopic)
{
    const auto bulk = ConfigSet({Interface(0, 1, 8), Endpoint(0x81, 2, 512)});
    const auto isochronous = ConfigSet({Interface(0, 0, 1), Interface(1, 0, 1), Interface(1, 1, 1, 0, 1),
                                        Endpoint(0x82, 0x05, 192, 1)});
    struct Case {
        uint8_t speed;
        std::vector<uint8_t> set;
        const char* name;
        int bar;
        int topic;
    } cases[] = {
        {2, bulk, "High Speed", 4, 102},
        {0, isochronous, "Low Speed", 1, 103},
        {2, isochronous, "High Speed", 4, 104},
        {1, isochronous, "Full Speed", 2, 103},
    };
    for (const auto& c : cases) {
        Scan(Ports(WithSet(Device(1, 0x046D, 0x0825, "", c.speed), c.set)));
        AdviceWindowEnabled = 1;
        Select("[Port1] ");
        EXPECT_EQ(View().speed, c.name);
        EXPECT_EQ(View().bar, c.bar);
        EXPECT_EQ(View().isoc, c.set == isochronous);
        EXPECT_EQ(Topic(), c.topic) << c.name;
        TearDown();
    }
}

TEST_F(PanelTest, SpeedBeyondTheTableShowsTheLastNameAndAFullBar)
{
    for (uint8_t speed : {3, 4, 200}) {
        Scan(Ports(Device(1, 1, 1, "", speed)));
        Select("[Port1] ");
        EXPECT_EQ(View().speed, "???");
        EXPECT_EQ(View().bar, 8);
        TearDown();
    }
}

// Topic 100 for all that is no configured device: an external hub shows
// its facts, a device that failed enumeration its speed but no boxes, one
// whose set could not be read no strings; an empty port, the root, a
// controller and a root hub clear the panel.
TEST_F(PanelTest, WhatIsNoConfiguredDeviceYieldsTopic100)
{
    SimPort hub = HubPort(1, Hub("EXT", 0), "{k}\\hub");
    hub.strings[1][kEnglish] = u"USB2.0 Hub";
    hub.languages = {kEnglish};
    SimPort failed = Device(2, 0x03EB, 0x2FF4, "{k}\\bad", 1);
    failed.status = 2;
    failed.configValue = 0;
    SimPort unread = Device(3, 0x046D, 0xC077, "", 0);
    unread.deviceDescriptor = DeviceDescriptor(0x046D, 0xC077, 1, 2, 0);
    unread.languages = {kEnglish};
    unread.strings[1][kEnglish] = u"Logitech";
    unread.fail.insert("config");
    SimTopology topology;
    AddDriver(topology, "{k}\\hub", "Generischer USB-Hub", "VID_05E3&PID_0610\\5&1");
    AddDriver(topology, "{k}\\bad", "", "VID_03EB&PID_2FF4\\6&1");
    ShowUnusedPorts = 1;
    Scan(Ports(std::move(hub), std::move(failed), std::move(unread), EmptyPort(4)), std::move(topology));
    AdviceWindowEnabled = 1;
    const struct {
        const char* label;
        const char* shown;
    } cases[] = {
        {"[Port1] : Generischer USB-Hub", "05e3|Genesys Logic, Inc.|0610|USB2.0 Hub||1||High Speed|4|CI"},
        {"My Computer", "||||||||0|"},
        {"[Port2] ", "03eb|Atmel Corporation|2ff4||USB\\VID_03EB&PID_2FF4\\6&1|1||Full Speed|2|"},
        {"HC", "||||||||0|"},
        {"[Port3] ", "046d|Logitech Inc.|c077|||1||Low Speed|1|"},
        {"RootHub", "||||||||0|"},
        {"[Port4] ", "||||||||0|"},
    };
    for (const auto& c : cases) {
        Select(c.label);
        EXPECT_EQ(View().Line(), c.shown) << c.label;
        EXPECT_EQ(Topic(), 100) << c.label;
    }
}

// Vendor name, product and serial number: the table's name unless the
// device names a manufacturer; the last language of the list decides; the
// LanguageList (index 0) is no string; strings in the code page, best fit
// or '?', and one of 80 characters or more empties its field.
TEST_F(PanelTest, StringFieldsFollowTheDeviceStrings)
{
    const struct {
        uint16_t vendor;
        uint8_t manufacturer, product, serial;
        std::vector<std::pair<uint8_t, std::u16string>> english, german;
        std::string vendorName, productName, serialNumber;
    } cases[] = {
        {0x03EB, 1, 0, 0, {{1, u"ATMEL"}}, {}, "ATMEL", "", ""},
        {0x03EB, 0, 0, 0, {}, {}, "Atmel Corporation", "", ""},
        {0x1D6B, 0, 0, 0, {}, {}, "", "", ""},
        {0x0000, 0, 0, 0, {}, {}, "", "", ""},
        {0x046D, 1, 2, 2, {{1, u"Logitech"}, {2, u"Headset"}}, {{1, u"Logitech GmbH"}, {2, u"Kopfh\u00f6rer"}},
         "Logitech GmbH", "Kopfh\xF6rer", "Kopfh\xF6rer"},
        {0x046D, 1, 0, 0, {{1, u"L"}}, {}, "L", "", ""},
        {0x1234, 1, 2, 3, {{1, std::u16string(79, u'm')}, {2, std::u16string(80, u'p')}, {3, u"Cam\u2122 \u0100\U0001F600"}},
         {}, std::string(79, 'm'), "", "Cam\x99 A?"},
    };
    for (const auto& c : cases) {
        SimPort port = Device(1, c.vendor, 0x0A44);
        port.deviceDescriptor = DeviceDescriptor(c.vendor, 0x0A44, c.manufacturer, c.product, c.serial);
        port.languages = {kEnglish};
        for (const auto& [index, text] : c.english)
            port.strings[index][kEnglish] = text;
        if (!c.german.empty())
            port.languages.push_back(kGerman);
        for (const auto& [index, text] : c.german)
            port.strings[index][kGerman] = text;
        Scan(Ports(std::move(port)));
        Select("[Port1] ");
        const PanelView view = View();
        char id[8];
        snprintf(id, sizeof(id), "%04x", c.vendor);
        EXPECT_EQ(view.vendorId, id);
        EXPECT_EQ(view.vendorName, c.vendorName) << id;
        EXPECT_EQ(view.productName, c.productName) << id;
        EXPECT_EQ(view.serial, c.serialNumber) << id;
        TearDown();
    }
}

TEST_F(PanelTest, EmptyStringDescriptorEmptiesTheFieldAgain)
{
    SimPort port = Device(1, 0x1234, 0x0001);
    port.deviceDescriptor = DeviceDescriptor(0x1234, 0x0001, 0, 2, 0);
    port.languages = {kEnglish, kGerman};
    port.strings[2][kEnglish] = u"Product";
    port.rawStrings[{2, kGerman}] = {2, 3};
    Scan(Ports(std::move(port)));
    Select("[Port1] ");
    EXPECT_EQ(View().productName, "");
    std::vector<std::string> productWrites;
    for (const auto& entry : session_->PanelControls().Log())
        if (entry.rfind("text 1006", 0) == 0)
            productWrites.push_back(entry);
    EXPECT_EQ(productWrites, (std::vector<std::string>{"text 1006 ", "text 1006 Product", "text 1006 "}));
}

TEST_F(PanelTest, AdviceWindowIsAskedOnlyWhileSwitchedOn)
{
    Scan(Ports(Device(1, 1, 1)));
    Select("[Port1] ");
    Select("RootHub");
    EXPECT_TRUE(session_->Help().calls.empty());
    AdviceWindowEnabled = 1;
    Select("[Port1] ");
    Select("[Port1] ");
    EXPECT_EQ(session_->Help().Topics(), (std::vector<int>{101})) << "the same topic again leaves the window as it is";
}

TEST_F(PanelTest, SelectionOfNoItemOrOtherNotificationsChangeNothing)
{
    Scan(Ports(Device(1, 0x046D, 0xC077)));
    AdviceWindowEnabled = 1;
    Select("[Port1] ");
    const PanelView before = View();
    const size_t calls = session_->Help().calls.size();
    session_->PanelControls().ClearLog();
    EXPECT_EQ(OnSelectionChanged(nullptr, kTreeSelectionChanged, nullptr), 0);
    const auto* item = FindItem(session_->Tree(), "RootHub");
    EXPECT_EQ(OnSelectionChanged(nullptr, static_cast<uint32_t>(-401), const_cast<MemoryTree::Item*>(item)), 0);
    EXPECT_TRUE(session_->PanelControls().Log().empty());
    EXPECT_EQ(View().vendorId, before.vendorId);
    EXPECT_EQ(session_->Help().calls.size(), calls);
}

// bmAttributes is the fourth byte: an endpoint descriptor of two or three
// bytes holds none, wherever it stands in the set.
TEST_F(PanelTest, EndpointDescriptorTooShortForItsAttributesCountsForNothing)
{
    const std::vector<uint8_t> shortEndpoints[] = {{2, 5}, {3, 5, 0x81}};
    for (const auto& shortEndpoint : shortEndpoints) {
        // In the middle, followed by an interface descriptor whose bLength 9
        // would read as "isochronous"; and as the set's last bytes.
        const std::vector<uint8_t> sets[] = {
            ConfigSet({Interface(0, 1, 3), shortEndpoint, Interface(1, 1, 3), Endpoint(0x82, 3, 8, 10)}),
            ConfigSet({Interface(0, 1, 3), Endpoint(0x82, 3, 8, 10), shortEndpoint}),
        };
        for (const auto& set : sets) {
            Scan(Ports(WithSet(Device(1, 0x046D, 0xC52B), set)));
            AdviceWindowEnabled = 1;
            Select("[Port1] ");
            const PanelView view = View();
            EXPECT_TRUE(view.ctrl && view.intr);
            EXPECT_FALSE(view.isoc || view.bulk) << int(shortEndpoint[0]);
            EXPECT_EQ(Topic(), 101);
            TearDown();
        }
    }
}
