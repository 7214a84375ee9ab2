// The simulated hub and host-controller drivers answer with the platform's
// record layouts and byte counts, and refuse buffers that are too small.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/sim_session.h"
#include "tests/support/topology_builder.h"
#include "usb/usb_records.h"
#include "usb/usb_stack.h"

using namespace testing_topology;

namespace {

class SimDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<SimPort> ports;
        SimPort device = Device(1, 0x046D, 0xC077, "{k}\\0001", 0);
        device.configDescriptors = {
            ConfigSet({Interface(0, 2, 3), Endpoint(0x81, 3, 8, 10), Endpoint(0x02, 2, 64)})};
        ports.push_back(std::move(device));
        ports.push_back(HubPort(3, Hub("EXTERNAL", 7)));
        SimTopology topology;
        topology.controllers.push_back(ControllerWith("HC", Hub("ROOT", 4, std::move(ports))));
        session_ = std::make_unique<SimSession>(std::move(topology));
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

TEST_F(SimDriverTest, NodeInformationNeedsItsWhole76Bytes)
{
    std::vector<uint8_t> small(75);
    uint32_t returned = 99;
    EXPECT_FALSE(Ask(IOCTL_USB_GET_NODE_INFORMATION, small, &returned));
    EXPECT_EQ(returned, 0u);
    std::vector<uint8_t> whole(76);
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_INFORMATION, whole, &returned));
    EXPECT_EQ(returned, 76u);
    const auto* info = reinterpret_cast<const USB_NODE_INFORMATION*>(whole.data());
    EXPECT_EQ(info->u.HubInformation.HubDescriptor.bNumberOfPorts, 4);
    EXPECT_EQ(info->u.HubInformation.HubDescriptor.bDescriptorType, 0x29);
}

TEST_F(SimDriverTest, ConnectionInformationIsTheFixedPartAndThePipesThatFit)
{
    std::vector<uint8_t> small = ConnectionRequest(1, 34);
    uint32_t returned = 0;
    EXPECT_FALSE(Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, small, &returned));

    std::vector<uint8_t> fixed = ConnectionRequest(1, 35 + 11 + 5);
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, fixed, &returned));
    EXPECT_EQ(returned, 35u + 11u);
    const auto* info = reinterpret_cast<const USB_NODE_CONNECTION_INFORMATION_EX*>(fixed.data());
    EXPECT_EQ(static_cast<uint32_t>(info->NumberOfOpenPipes), 2u);
    EXPECT_EQ(info->DeviceDescriptor.idVendor, 0x046D);
    EXPECT_EQ(fixed[offsetof(USB_NODE_CONNECTION_INFORMATION_EX, PipeList) + 2], 0x81);

    std::vector<uint8_t> whole = ConnectionRequest(1, kConnectionInfoBytes);
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, whole, &returned));
    EXPECT_EQ(returned, 35u + 2 * 11u);
    EXPECT_EQ(whole[23], 0);   // Speed: low
    std::vector<uint8_t> older = ConnectionRequest(1, kConnectionInfoBytes);
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, older, &returned));
    EXPECT_EQ(older[23], 1);   // LowSpeed flag
}

TEST_F(SimDriverTest, PortsOutsideTheHubAreRefusedAndUnlistedPortsAreEmpty)
{
    uint32_t returned = 0;
    for (uint32_t port : {0u, 5u}) {
        std::vector<uint8_t> buffer = ConnectionRequest(port, kConnectionInfoBytes);
        EXPECT_FALSE(Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, buffer, &returned)) << port;
    }
    std::vector<uint8_t> empty = ConnectionRequest(2, kConnectionInfoBytes);
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, empty, &returned));
    EXPECT_EQ(returned, 35u);
    EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<USB_NODE_CONNECTION_INFORMATION_EX*>(empty.data())->ConnectionStatus), 0u);
}

TEST_F(SimDriverTest, NameRecordsReportTheirWholeLengthAndFillWhatFits)
{
    uint32_t returned = 0;
    std::vector<uint8_t> probe = ConnectionRequest(3, 10);
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_CONNECTION_NAME, probe, &returned));
    uint32_t actual = 0;
    memcpy(&actual, probe.data() + 4, 4);
    EXPECT_EQ(actual, 8u + 2u * (8 + 1));   // "EXTERNAL" and its terminator
    EXPECT_EQ(returned, 10u);
    std::vector<uint8_t> whole = ConnectionRequest(3, actual);
    ASSERT_TRUE(Ask(IOCTL_USB_GET_NODE_CONNECTION_NAME, whole, &returned));
    EXPECT_EQ(returned, actual);
    EXPECT_EQ(whole[8], 'E');
    EXPECT_EQ(whole[actual - 2], 0);

    std::vector<uint8_t> tiny = ConnectionRequest(3, 9);
    EXPECT_FALSE(Ask(IOCTL_USB_GET_NODE_CONNECTION_NAME, tiny, &returned));
}

TEST_F(SimDriverTest, DescriptorReplyCountsTheHeaderAndStopsAtWhatWasAsked)
{
    std::vector<uint8_t> request(12 + 9);
    const uint32_t port = 1;
    memcpy(request.data(), &port, 4);
    request[7] = 2;    // wValue: configuration descriptor 0
    request[10] = 9;   // wLength
    uint32_t returned = 0;
    ASSERT_TRUE(Ask(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, request, &returned));
    EXPECT_EQ(returned, 21u);
    EXPECT_EQ(request[12], 9);
    EXPECT_EQ(request[13], 2);
    EXPECT_EQ(request[14], 9 + 9 + 7 + 7);

    std::vector<uint8_t> header(11);
    EXPECT_FALSE(Ask(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, header, &returned));
    std::vector<uint8_t> emptyPort(12 + 9);
    const uint32_t empty = 2;
    memcpy(emptyPort.data(), &empty, 4);
    emptyPort[7] = 2;
    emptyPort[10] = 9;
    EXPECT_FALSE(Ask(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, emptyPort, &returned));
}

TEST_F(SimDriverTest, OpensFindWhatTheTopologyHoldsAfterItChanges)
{
    DeviceHandle external = OpenHubByName("EXTERNAL");
    EXPECT_NE(external, InvalidDeviceHandle());
    CloseDeviceHandle(external);

    // A hub plugged in after the names were indexed, and a second controller.
    SimTopology& topology = session_->Topology();
    topology.controllers[0].rootHub->ports.push_back(HubPort(4, Hub("LATE", 2)));
    topology.controllers.push_back(ControllerWith("HC2", Hub("ROOT2", 2)));
    for (const char* name : {"LATE", "late", "ROOT2", "EXTERNAL"}) {
        DeviceHandle hub = OpenHubByName(name);
        EXPECT_NE(hub, InvalidDeviceHandle()) << name;
        CloseDeviceHandle(hub);
    }
    const std::string path = session_->Usb().ControllerDevicePath(1);
    DeviceHandle controller = ActiveUsbPlatform->OpenDevice(path.c_str());
    EXPECT_NE(controller, InvalidDeviceHandle());
    ActiveUsbPlatform->CloseDevice(controller);

    // A hub unplugged is no longer opened.
    topology.controllers[0].rootHub->ports.pop_back();
    EXPECT_EQ(OpenHubByName("LATE"), InvalidDeviceHandle());
}
