// Names read from the host-controller and hub drivers, hub opening, port
// cycling and the conversion of UTF-16 names.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "tests/support/pass_through.h"
#include "usb/usb_records.h"
#include "usb/usb_stack.h"
#include "usb/zeroed_alloc.h"

using namespace topology_builder;

namespace {

struct Text {
    char* text;
    explicit Text(char* t) : text(t) {}
    ~Text() { ReleaseBuffer(text); }
};

}  // namespace

// "\\.\" and the name; a name too long for the path buffer is refused
// without opening.
TEST(OpenHubByName, OpensTheDevicePathBuiltFromTheName)
{
    const std::string fits(507, 'h');  // "\\.\" + 507 = 511 characters
    SimSession session(OneController({}, 0, fits));
    DeviceHandle hub = OpenHubByName(fits.c_str());
    ASSERT_NE(hub, InvalidDeviceHandle());
    CloseDeviceHandle(hub);
    EXPECT_EQ(OpenHubByName("NO-SUCH-HUB"), InvalidDeviceHandle());
    EXPECT_EQ(session.Usb().Count().opens, 2u);
    EXPECT_EQ(OpenHubByName(std::string(508, 'h').c_str()), InvalidDeviceHandle());
    EXPECT_EQ(session.Usb().Count().opens, 2u);
    EXPECT_EQ(session.Usb().OpenHandles(), 0u);
}

// Passes every call on and notes the I/O controls as sent.
class SentIoControls : public UsbPassThrough {
public:
    struct Sent {
        uint32_t code, inSize, outSize;
        bool hasOut;
    };
    std::vector<Sent> sent;

    bool IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* returned) override
    {
        sent.push_back({code, inSize, outSize, out != nullptr});
        return UsbPassThrough::IoControl(handle, code, in, inSize, out, outSize, returned);
    }
};

// The whole USB_CYCLE_PORT_PARAMS goes in, nothing is asked back; the hub
// driver refuses ConnectionIndex alone.
TEST(CyclePort, ReachesTheHubWithThePortNumberInTheWholeRecord)
{
    SimSession session(OneController(Ports(Device(1, 1, 1), With(Device(2, 1, 1), [](SimPort& p) {
                                              p.fail.insert("cycle_port");
                                          }))));
    DeviceHandle hub = OpenHubByName("ROOT");
    {
        SentIoControls sent;
        EXPECT_NE(CyclePort(hub, 1), 0);
        ASSERT_EQ(sent.sent.size(), 1u);
        EXPECT_EQ(sent.sent[0].code, 0x220444u) << "IOCTL_USB_HUB_CYCLE_PORT";
        EXPECT_EQ(sent.sent[0].inSize, 8u) << "USB_CYCLE_PORT_PARAMS";
        EXPECT_EQ(sent.sent[0].outSize, 0u);
        EXPECT_FALSE(sent.sent[0].hasOut);
    }
    EXPECT_EQ(CyclePort(hub, 2), 0);
    EXPECT_EQ(CyclePort(hub, 3), 0);
    USB_CYCLE_PORT_PARAMS params = {};
    params.ConnectionIndex = 1;
    uint32_t returned = 0;
    EXPECT_FALSE(session.Usb().IoControl(hub, IOCTL_USB_HUB_CYCLE_PORT, &params, sizeof(params.ConnectionIndex),
                                         nullptr, 0, &returned));
    CloseDeviceHandle(hub);
    ASSERT_EQ(session.Usb().Cycles().size(), 1u);
    EXPECT_EQ(session.Usb().Cycles()[0].first, "ROOT");
    EXPECT_EQ(session.Usb().Cycles()[0].second, 1u);
}

// Probe and name, no input sent; a controller without root hub gives null.
TEST(GetRootHubName, ReadsTheNameFromTheControllerAndFailsWhenThereIsNone)
{
    SimTopology topology = OneController({}, 0, "USB#ROOT_HUB20#4&2e1c5a0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
    topology.controllers.emplace_back();
    SimSession session(std::move(topology));
    DeviceHandle first = ActiveUsbPlatform->OpenDevice(session.Usb().ControllerDevicePath(0).c_str());
    DeviceHandle second = ActiveUsbPlatform->OpenDevice(session.Usb().ControllerDevicePath(1).c_str());
    ASSERT_NE(second, InvalidDeviceHandle());
    {
        SentIoControls sent;
        Text name(GetRootHubName(first));
        EXPECT_STREQ(name.text, "USB#ROOT_HUB20#4&2e1c5a0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
        ASSERT_EQ(sent.sent.size(), 2u) << "probe and name";
        for (const auto& request : sent.sent) {
            EXPECT_EQ(request.code, IOCTL_USB_GET_ROOT_HUB_NAME);
            EXPECT_EQ(request.inSize, 0u);
            EXPECT_TRUE(request.hasOut);
        }
    }
    EXPECT_EQ(GetRootHubName(second), nullptr);
    CloseDeviceHandle(first);
    CloseDeviceHandle(second);
    EXPECT_EQ(session.Memory().LiveBlocks(), 0u);
}

// Rewrites ActualLength in the controller's reply to the root hub name probe.
class ClaimedNameLength : public UsbPassThrough {
public:
    explicit ClaimedNameLength(uint32_t claimed) : claimed_(claimed) {}
    bool IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* returned) override
    {
        const bool ok = UsbPassThrough::IoControl(handle, code, in, inSize, out, outSize, returned);
        if (ok && code == IOCTL_USB_GET_ROOT_HUB_NAME && outSize == sizeof(USB_ROOT_HUB_NAME))
            static_cast<USB_ROOT_HUB_NAME*>(out)->ActualLength = claimed_;
        return ok;
    }

private:
    uint32_t claimed_;
};

TEST(GetRootHubName, ProbeClaimsAreHeldToTheRecordsBounds)
{
    for (uint32_t claimed : {0u, 5u, uint32_t{0x10000 + sizeof(USB_NODE_CONNECTION_NAME) + 1}, 0xFFFFFFFFu}) {
        SimSession session(OneController({}));
        DeviceHandle controller = ActiveUsbPlatform->OpenDevice(session.Usb().ControllerDevicePath(0).c_str());
        {
            ClaimedNameLength lying(claimed);
            EXPECT_EQ(GetRootHubName(controller), nullptr) << claimed;
        }
        CloseDeviceHandle(controller);
        EXPECT_EQ(session.Memory().LiveBlocks(), 0u) << claimed;
    }
    // The largest claim a name may make is still read.
    SimSession session(OneController({}));
    DeviceHandle controller = ActiveUsbPlatform->OpenDevice(session.Usb().ControllerDevicePath(0).c_str());
    ClaimedNameLength largest(0x10000 + sizeof(USB_NODE_CONNECTION_NAME));
    Text name(GetRootHubName(controller));
    EXPECT_STREQ(name.text, "ROOT");
    CloseDeviceHandle(controller);
}

TEST(WideToAnsi, ConvertsToCodePage1252WithBestFitAndQuestionMarksForTheRest)
{
    SimSession session{SimTopology{}};
    const char16_t text[] = u"Ger\u00e4t \u20ac\u2122 \u0100 \U0001F600!";
    {
        Text converted(WideToAnsi(text));
        EXPECT_STREQ(converted.text, "Ger\xE4t \x80\x99 A ?!");
        Text empty(WideToAnsi(u""));
        EXPECT_STREQ(empty.text, "");
    }
    session.Memory().FailAllocation(1);
    EXPECT_EQ(WideToAnsi(u"name"), nullptr);
    EXPECT_EQ(session.Memory().LiveBlocks(), 0u);
}

// A root hub name reply with an odd ActualLength and no terminator, filling
// every byte it is given.
class UnterminatedName : public UsbPassThrough {
public:
    bool IoControl(DeviceHandle, uint32_t, void*, uint32_t, void* out, uint32_t outSize, uint32_t* returned) override
    {
        auto* bytes = static_cast<uint8_t*>(out);
        memset(bytes, 'A', outSize);
        const uint32_t actualLength = 11;
        memcpy(bytes, &actualLength, sizeof(actualLength));
        *returned = outSize;
        return true;
    }
};

TEST(GetRootHubName, ReplyWithoutTerminatorAndOddLengthIsReadInsideItsBuffer)
{
    SimSession session{SimTopology{}};
    UnterminatedName controller;
    Text name(GetRootHubName(&controller));
    ASSERT_NE(name.text, nullptr);
    // Bytes 4..10 hold "AA AA AA A": three whole units, then half of one.
    EXPECT_EQ(strlen(name.text), 4u);
    EXPECT_EQ(name.text[0], '?');  // U+4141 is not in code page 1252
}
