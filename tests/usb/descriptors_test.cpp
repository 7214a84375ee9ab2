// Configuration and string descriptors as read through the hub: the two
// requests of a configuration set, the tests every reply must pass, the
// order of the string list and the stops of the descriptor walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tests/support/pass_through.h"
#include "usb/descriptor_walk.h"
#include "usb/descriptors.h"
#include "usb/usb_stack.h"
#include "usb/zeroed_alloc.h"

using namespace topology_builder;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint16_t kEnglish = 0x0409;
constexpr uint16_t kGerman = 0x0407;

class DescriptorTest : public ::testing::Test {
protected:
    // A root hub with the given device on port 1, opened.
    void Attach(SimPort device)
    {
        device.port = 1;
        session_ = std::make_unique<SimSession>(OneController(Ports(std::move(device))));
        hub_ = OpenHubByName("ROOT");
        ASSERT_NE(hub_, InvalidDeviceHandle());
    }

    void TearDown() override
    {
        if (!session_)
            return;
        CloseDeviceHandle(hub_);
        EXPECT_EQ(session_->Memory().LiveBlocks(), 0u) << "blocks left";
        session_.reset();
    }

    SimPort& Port() { return session_->Topology().controllers[0].rootHub->ports[0]; }
    const auto& Requests() { return session_->Usb().DescriptorRequests(); }

    // The descriptor requests as "wValue wIndex wLength buffer size", in hex.
    std::vector<std::string> RequestLines()
    {
        std::vector<std::string> lines;
        for (const auto& r : Requests()) {
            char line[32];
            snprintf(line, sizeof(line), "%04x %04x %x %x", r.value, r.index, r.length, r.size);
            lines.push_back(line);
        }
        return lines;
    }

    bool AskedForAString()
    {
        for (const auto& request : Requests())
            if (request.value >> 8 == 3)
                return true;
        return false;
    }

    // Reads the set and, as the scan does, the strings; returns "index:lang" per node.
    std::vector<std::string> StringListOf(bool* hadConfig = nullptr)
    {
        ConfigRequestBuffer* config = FetchConfigDescriptor(hub_, 1, 0);
        if (hadConfig)
            *hadConfig = config != nullptr;
        std::vector<std::string> nodes;
        if (!config)
            return nodes;
        const auto* device = reinterpret_cast<const USB_DEVICE_DESCRIPTOR*>(Port().deviceDescriptor.data());
        if (HasStringDescriptors(device, ConfigDescriptorOf(config))) {
            StringDescNode* list = CollectStringDescriptors(hub_, 1, device, ConfigDescriptorOf(config));
            for (StringDescNode* node = list; node; node = node->Next) {
                char text[16];
                snprintf(text, sizeof(text), "%u:%04x", node->Index, node->LanguageId);
                nodes.push_back(text);
            }
            ReleaseStringList(list);
        }
        ReleaseBuffer(config);
        return nodes;
    }

    std::unique_ptr<SimSession> session_;
    DeviceHandle hub_ = nullptr;
};

SimPort DeviceNaming(uint8_t manufacturer, uint8_t product, uint8_t serial, std::vector<uint8_t> set,
                     std::vector<uint16_t> languages = {kEnglish})
{
    SimPort port = Device(1, 0x1234, 0x5678);
    port.deviceDescriptor = DeviceDescriptor(0x1234, 0x5678, manufacturer, product, serial);
    port.configDescriptors = {std::move(set)};
    port.languages = std::move(languages);
    port.hasLanguageList = true;
    for (uint8_t index = 1; index < 20; ++index)
        for (uint16_t language : port.languages)
            port.strings[index][language] = u"s" + std::u16string(1, static_cast<char16_t>(u'0' + index));
    return port;
}

// A set of `count` interfaces, interface i naming string index(i).
template <typename Index>
std::vector<uint8_t> SetOfInterfaces(int count, Index index)
{
    std::vector<std::vector<uint8_t>> interfaces;
    for (int i = 0; i < count; ++i)
        interfaces.push_back(Interface(static_cast<uint8_t>(i), 0, 3, static_cast<uint8_t>(index(i))));
    return ConfigSet(interfaces, 0, 1);
}

// An interface descriptor of bLength 10 (naming index 6) and a
// configuration descriptor of 8: the walk stops at either.
const std::vector<uint8_t> kInterfaceOf10 = {10, 4, 0, 0, 0, 1, 0, 0, 6, 0};
const std::vector<uint8_t> kConfigurationOf8 = {8, 2, 0, 0, 1, 1, 9, 0};

}  // namespace

// The probe of 9 bytes for wTotalLength, then the set; the index in the
// low byte; a set longer than its wTotalLength is cut to it.
TEST_F(DescriptorTest, ConfigurationSetTakesTwoRequestsOfExactSizes)
{
    const auto set = ConfigSet({Interface(0, 2, 8), Endpoint(0x81, 2, 512), Endpoint(0x02, 2, 512)});
    auto longer = ConfigSet({Interface(0, 0, 3)});
    const auto extra = Interface(1, 0, 3);
    longer.insert(longer.end(), extra.begin(), extra.end());
    SimPort device = DeviceNaming(0, 0, 0, set);
    device.configDescriptors.push_back(longer);
    Attach(std::move(device));
    for (uint8_t index : {0, 1}) {
        ConfigRequestBuffer* config = FetchConfigDescriptor(hub_, 1, index);
        ASSERT_NE(config, nullptr);
        EXPECT_EQ(config->ConnectionIndex, 1u);
        const size_t total = index ? 18 : set.size();
        EXPECT_EQ(ConfigDescriptorOf(config)->wTotalLength, total);
        EXPECT_EQ(std::vector<uint8_t>(config->Data, config->Data + total),
                  std::vector<uint8_t>((index ? longer : set).begin(), (index ? longer : set).begin() + total));
        ReleaseBuffer(config);
    }
    EXPECT_EQ(RequestLines(), (std::vector<std::string>{"0200 0000 9 15", "0200 0000 20 2c", "0201 0000 9 15",
                                                        "0201 0000 12 1e"}));
}

TEST_F(DescriptorTest, RejectedConfigurationRepliesYieldNull)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> set;
        std::optional<std::vector<uint8_t>> second;
        const char* fail;
    };
    const auto good = ConfigSet({Interface(0, 1, 3), Endpoint(0x81, 3, 8, 10)});
    auto shortTotal = good;
    shortTotal[2] = 8;   // wTotalLength 8: below a configuration descriptor
    auto truncated = good;
    truncated.resize(good.size() - 3);   // the device sends less than it announces
    auto otherTotal = good;
    otherTotal.push_back(0);
    otherTotal[2] = static_cast<uint8_t>(otherTotal.size());
    const std::vector<uint8_t> probeOf8(good.begin(), good.begin() + 8);
    const std::vector<Case> cases = {
        {"probe of 20 bytes, though the whole set would come", probeOf8, good, nullptr},
        {"probe wTotalLength below 9", shortTotal, std::nullopt, nullptr},
        {"probe shorter than 9 bytes", Bytes{9, 2, 25, 0, 1}, std::nullopt, nullptr},
        {"second reply short", truncated, std::nullopt, nullptr},
        {"second reply with other wTotalLength", good, otherTotal, nullptr},
        {"probe request fails", good, std::nullopt, "config_probe"},
        {"second request fails", good, std::nullopt, "config"},
    };
    for (const auto& c : cases) {
        SimPort device = DeviceNaming(1, 0, 0, c.set);
        device.configSecondReply = c.second;
        if (c.fail)
            device.fail.insert(c.fail);
        if (c.set == truncated)
            device.configDescriptors[0][2] = good[2];
        Attach(std::move(device));
        bool hadConfig = true;
        EXPECT_TRUE(StringListOf(&hadConfig).empty()) << c.name;
        EXPECT_FALSE(hadConfig) << c.name;
        EXPECT_FALSE(AskedForAString()) << c.name;
        TearDown();
    }
}

TEST_F(DescriptorTest, InterfaceStringAloneGivesLanguageListAndOneNodePerLanguage)
{
    Attach(DeviceNaming(0, 0, 0, ConfigSet({Interface(0, 0, 3, 5)}), {kEnglish, kGerman}));
    EXPECT_EQ(StringListOf(), (std::vector<std::string>{"0:0000", "5:0409", "5:0407"}));
    // LanguageList, then one 267-byte request per language.
    const auto lines = RequestLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()),
              (std::vector<std::string>{"0300 0000 ff 10b", "0305 0409 ff 10b", "0305 0407 ff 10b"}));
}

// The string list: the language list, then per language the device's
// indexes, iConfiguration and each interface's index in the order of the set,
// up to the first descriptor the walk does not accept.
TEST_F(DescriptorTest, StringListFollowsTheDeviceThenTheSetUpToTheWalksStop)
{
    auto eleven = Interface(0, 0, 1, 5);
    eleven[0] = 11;
    eleven.insert(eleven.end(), {0, 0});
    const std::vector<uint8_t> hid = {9, 0x21, 0x11, 0x01, 0, 1, 0x22, 0x3F, 0};
    auto pastTheEnd = ConfigSet({Interface(0, 0, 3, 4), Interface(1, 0, 3, 5)}, 0, 2);
    pastTheEnd[pastTheEnd.size() - 9] = 10;
    using List = std::vector<std::string>;
    struct Case {
        const char* what;
        SimPort device;
        List expected;
    } cases[] = {
        {"device strings, then the interface's, an index named twice twice",
         DeviceNaming(1, 2, 0, ConfigSet({Interface(0, 0, 3, 2)}), {kEnglish, kGerman}),
         {"0:0000", "1:0409", "1:0407", "2:0409", "2:0407", "2:0409", "2:0407"}},
        {"iConfiguration before the interfaces, these in set order",
         DeviceNaming(0, 0, 3, ConfigSet({Interface(0, 0, 3, 7), Interface(1, 0, 3, 6)}, 4, 2)),
         {"0:0000", "3:0409", "4:0409", "7:0409", "6:0409"}},
        {"a language list without languages", DeviceNaming(1, 2, 3, ConfigSet({Interface(0, 0, 3)}), {}), {"0:0000"}},
        {"interface of 11 bytes read, of 10 a stop",
         DeviceNaming(0, 0, 0, ConfigSet({eleven, kInterfaceOf10, Interface(2, 0, 1, 7)}, 0, 3)), {"0:0000", "5:0409"}},
        {"second configuration descriptor of 8 bytes a stop",
         DeviceNaming(0, 0, 0, ConfigSet({Interface(0, 0, 3, 4), kConfigurationOf8, Interface(1, 0, 3, 5)}, 0, 2)),
         {"0:0000", "4:0409"}},
        {"a descriptor past the set's end a stop", DeviceNaming(0, 0, 0, pastTheEnd), {"0:0000", "4:0409"}},
        {"endpoint and class descriptors stepped over",
         DeviceNaming(0, 0, 0, ConfigSet({Interface(0, 1, 3, 0), hid, Endpoint(0x81, 3, 8, 10), Interface(1, 0, 3, 9)}, 0, 2)),
         {"0:0000", "9:0409"}},
        {"a descriptor of length 0 a stop",
         DeviceNaming(0, 0, 0, ConfigSet({Interface(0, 0, 3, 4), Bytes{0, 0, 0, 0}, Interface(1, 0, 3, 5)}, 0, 2)),
         {"0:0000", "4:0409"}},
    };
    for (Case& c : cases) {
        Attach(std::move(c.device));
        EXPECT_EQ(StringListOf(), c.expected) << c.what;
        TearDown();
    }
}

TEST_F(DescriptorTest, MalformedStringRepliesGiveNoNodeAndTheRestIsStillFetched)
{
    SimPort device = DeviceNaming(1, 2, 3, ConfigSet({Interface(0, 0, 3, 4)}), {kEnglish, kGerman});
    device.rawStrings[{1, kEnglish}] = Bytes{5, 3, 'a', 0, 'b'};           // odd bLength
    device.rawStrings[{2, kEnglish}] = Bytes{4, 2, 'a', 0};                // not a string descriptor
    device.rawStrings[{3, kEnglish}] = Bytes{8, 3, 'a', 0};                // bLength beyond the bytes sent
    device.rawStrings[{4, kEnglish}] = Bytes{2, 3, 'a', 0};                // bLength short of the bytes sent
    device.fail.insert("string:1:0407");                                    // request fails
    Attach(std::move(device));
    EXPECT_EQ(StringListOf(), (std::vector<std::string>{"0:0000", "2:0407", "3:0407", "4:0407"}));
}

// The walk visits whole descriptors inside wTotalLength only (two trailing
// bytes are none), and stops when the visitor says so.
TEST(DescriptorWalk, VisitsOnlyWholeDescriptorsInsideTheSet)
{
    for (const auto& tail : {Bytes{2, 0x24}, Bytes{}}) {
        auto set = ConfigSet({Interface(0, 1, 3), Endpoint(0x81, 3), tail});
        set.push_back(7);  // a byte beyond wTotalLength is never read
        for (WalkStep step : {WalkStep::Continue, WalkStep::Stop}) {
            std::vector<int> types;
            DescriptorWalk(reinterpret_cast<const USB_CONFIGURATION_DESCRIPTOR*>(set.data()),
                           [&](const DescriptorHeader* h) {
                               types.push_back(h->bDescriptorType);
                               return step;
                           });
            EXPECT_EQ(types, (step == WalkStep::Stop ? std::vector<int>{2} : std::vector<int>{2, 4, 5}));
        }
    }
}

namespace {

// Forwards to the simulated stack, but answers the LanguageList request
// with the header alone while leaving {0, 3} in the first data bytes, as a
// driver does that writes more than it reports.
class HeaderOnlyLanguageList : public UsbPassThrough {
public:
    bool IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* bytesReturned) override
    {
        if (!UsbPassThrough::IoControl(handle, code, in, inSize, out, outSize, bytesReturned))
            return false;
        auto* request = static_cast<USB_DESCRIPTOR_REQUEST*>(out);
        if (code == IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION && request->SetupPacket.wValue == 0x0300 &&
            outSize >= kDescriptorRequestHeader + 2) {
            request->Data[0] = 0;
            request->Data[1] = 3;
            *bytesReturned = kDescriptorRequestHeader;
        }
        return true;
    }
};

}  // namespace

// No string list: a device naming nothing (also before a walk stop: not
// even the LanguageList), a failing LanguageList or one of no bytes.
TEST_F(DescriptorTest, NoStringListWithoutNamedStringsOrLanguageList)
{
    struct {
        const char* what;
        SimPort device;
        size_t requests;
        bool headerOnlyLanguageList = false;
    } cases[] = {
        {"names nothing", DeviceNaming(0, 0, 0, ConfigSet({Interface(0, 1, 3), Endpoint(0x81, 3, 8, 10)})), 2},
        {"interface of 10 first", DeviceNaming(0, 0, 0, ConfigSet({kInterfaceOf10, Interface(1, 0, 3, 5)})), 2},
        {"configuration of 8 first", DeviceNaming(0, 0, 0, ConfigSet({kConfigurationOf8, Interface(1, 0, 3, 5)})), 2},
        {"LanguageList fails",
         With(DeviceNaming(1, 2, 3, ConfigSet({Interface(0, 0, 3)})), [](SimPort& p) { p.fail.insert("string:0:0000"); }),
         3},
        {"LanguageList of no bytes", DeviceNaming(1, 2, 3, ConfigSet({Interface(0, 0, 3, 4)})), 3, true},
    };
    for (auto& c : cases) {
        Attach(std::move(c.device));
        std::optional<HeaderOnlyLanguageList> headerOnly;
        if (c.headerOnlyLanguageList)
            headerOnly.emplace();
        EXPECT_TRUE(StringListOf().empty()) << c.what;
        headerOnly.reset();
        EXPECT_EQ(Requests().size(), c.requests) << c.what;
        EXPECT_EQ(AskedForAString(), c.requests > 2) << c.what;
        TearDown();
    }
}

// One device's string requests are bounded, the LanguageList's included.
TEST_F(DescriptorTest, StringRequestsStopAtTheBoundAndTheListKeepsWhatCame)
{
    constexpr size_t kBound = 1024;
    // Two device strings and `interfaces` interface strings, two languages
    // each: 509 interfaces stay one request below the bound, 510 pass it in
    // the middle of the last interface's languages.
    for (const int interfaces : {509, 510}) {
        // Interface i names index 4 + i % 15.
        const auto set = SetOfInterfaces(interfaces, [](int i) { return 4 + i % 15; });
        Attach(DeviceNaming(1, 2, 0, set, {kEnglish, kGerman}));
        const std::vector<std::string> list = StringListOf();
        const size_t wanted = 1 + 2 * (2 + static_cast<size_t>(interfaces));
        EXPECT_EQ(Requests().size(), 2 + std::min(wanted, kBound)) << interfaces;
        EXPECT_EQ(list.size(), std::min(wanted, kBound)) << interfaces;
        EXPECT_EQ(list.back(), interfaces == 509 ? "17:0407" : "18:0409") << interfaces;
        TearDown();
    }
    // A hostile set: one index in every interface of a 65,535-byte set, in
    // 126 languages.
    std::vector<uint16_t> languages;
    for (uint16_t id = 0x0401; languages.size() < 126; ++id)
        languages.push_back(id);
    Attach(DeviceNaming(0, 0, 0, SetOfInterfaces((65535 - 9) / 9, [](int) { return 5; }), languages));
    EXPECT_EQ(StringListOf().size(), kBound);
    EXPECT_EQ(Requests().size(), 2 + kBound);
}
