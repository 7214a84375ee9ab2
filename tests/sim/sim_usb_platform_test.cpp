// The simulated hub and host-controller drivers answer with the platform's
// record layouts and byte counts, and refuse buffers that are too small.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/sim_session.h"
#include "sim/topology_builder.h"
#include "usb/usb_records.h"
#include "usb/usb_stack.h"

using namespace topology_builder;

namespace {

class SimDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimPort device = Device(1, 0x046D, 0xC077, "{k}\\0001", 0);
        device.configDescriptors = {
            ConfigSet({Interface(0, 2, 3), Endpoint(0x81, 3, 8, 10), Endpoint(0x02, 2, 64)})};
        session_ = std::make_unique<SimSession>(
            OneController(Ports(std::move(device), HubPort(3, Hub("EXTERNAL", 7))), 4));
        hub_ = OpenHubByName("ROOT");
        ASSERT_NE(hub_, InvalidDeviceHandle());
    }
    void TearDown() override { CloseDeviceHandle(hub_); }

    bool Ask(uint32_t code, std::vector<uint8_t>& buffer, uint32_t* returned)
    {
        return ActiveUsbPlatform->IoControl(hub_, code, buffer.data(), static_cast<uint32_t>(buffer.size()),
                                            buffer.data(), static_cast<uint32_t>(buffer.size()), returned);
    }
    std::vector<uint8_t> ConnectionRequest(uint32_t port, size_t size)
    {
        std::vector<uint8_t> buffer(size);
        memcpy(buffer.data(), &port, sizeof(port));
        return buffer;
    }

    std::unique_ptr<SimSession> session_;
    DeviceHandle hub_ = nullptr;
};

}  // namespace

// Sizes asked and what comes back, as the platform's hub driver answers.
TEST_F(SimDriverTest, RepliesHaveThePlatformsSizesAndTooSmallBuffersAreRefused)
{
    const uint32_t kName = 8 + 2 * (8 + 1);  // "EXTERNAL" and its terminator
    const struct {
        const char* what;
        uint32_t code, port, size;
        bool ok;
        uint32_t returned;
    } cases[] = {
        {"node information, one byte short", IOCTL_USB_GET_NODE_INFORMATION, 0, 75, false, 0},
        {"node information", IOCTL_USB_GET_NODE_INFORMATION, 0, 76, true, 76},
        {"connection, below the fixed part", IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 1, 34, false, 0},
        {"connection, room for one pipe", IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 1, 35 + 11 + 5, true, 35 + 11},
        {"connection, both pipes", IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 1, kConnectionInfoBytes, true, 35 + 22},
        {"connection of port 0", IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 0, kConnectionInfoBytes, false, 0},
        {"connection past the last port", IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 5, kConnectionInfoBytes, false, 0},
        {"connection of an unlisted port", IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 2, kConnectionInfoBytes, true, 35},
        {"hub name, below its header", IOCTL_USB_GET_NODE_CONNECTION_NAME, 3, 9, false, 0},
        {"hub name probe", IOCTL_USB_GET_NODE_CONNECTION_NAME, 3, 10, true, 10},
        {"hub name", IOCTL_USB_GET_NODE_CONNECTION_NAME, 3, kName, true, kName},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> buffer = ConnectionRequest(c.port, c.size);
        uint32_t returned = 99;
        EXPECT_EQ(Ask(c.code, buffer, &returned), c.ok) << c.what;
        EXPECT_EQ(returned, c.returned) << c.what;
        if (c.code == IOCTL_USB_GET_NODE_CONNECTION_NAME && c.size == 10) {
            EXPECT_EQ(buffer[4], kName) << "ActualLength";
        }
    }
    std::vector<uint8_t> lowSpeed = ConnectionRequest(1, kConnectionInfoBytes);
    uint32_t returned = 0;
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, lowSpeed, &returned));
    EXPECT_EQ(lowSpeed[23], 0) << "Speed: low";
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, lowSpeed, &returned));
    EXPECT_EQ(lowSpeed[23], 1) << "LowSpeed flag of the older record";
}

