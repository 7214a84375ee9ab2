// The kernel driver's answers, computed from the flat block, are the
// simulated stack's answers byte for byte: every I/O control, buffer size,
// port and descriptor request of interest on the sample PCs and on every
// topology of the loader's fuzzing corpus.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/flat_topology_writer.h"
#include "sim/kernel/usb_answers.h"
#include "sim/sim_code_page.h"
#include "sim/sim_usb_platform.h"
#include "sim/topology_loader.h"
#include "tests/support/topology_builder.h"
#include "usb/usb_records.h"

namespace {

const uint16_t* TopologyHubName(void* context, uint32_t hub, uint32_t* units)
{
    const auto* flat = static_cast<const FlatTopology*>(context);
    const std::u16string& name = flat->hubs[hub]->name;
    *units = static_cast<uint32_t>(name.size());
    return reinterpret_cast<const uint16_t*>(name.data());
}

std::string Ascii(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text)
        out += Cp1252FromUnit(unit);
    return out;
}

class Comparison {
public:
    Comparison(SimTopology& topology, const std::string& name)
        : name_(name), usb_(topology), flat_(FlattenTopology(topology))
    {
        stack_ = {flat_.Data(), TopologyHubName, &flat_, nullptr};
    }

    void Run()
    {
        ASSERT_TRUE(FlatCheck(flat_.Data(), flat_.Size())) << name_;
        const FlatHeader* header = reinterpret_cast<const FlatHeader*>(flat_.Data());
        for (uint32_t i = 0; i < header->controllerCount; ++i)
            Controller(i);
        const auto* hubs = reinterpret_cast<const FlatHub*>(flat_.Data() + header->hubs);
        for (uint32_t i = 0; i < header->hubCount; ++i)
            if (hubs[i].opensAs == i && (hubs[i].flags & FLAT_HUB_OPEN))
                Hub(i, hubs[i]);
    }

    size_t Compared() const { return compared_; }

private:
    // One request both ways; input is the request's first bytes.
    void Ask(DeviceHandle handle, bool controller, uint32_t index, uint32_t code, std::vector<uint8_t> input,
             uint32_t outSize, const char* what)
    {
        const uint32_t inSize = static_cast<uint32_t>(input.size());
        std::vector<uint8_t> simOut(outSize + 1, 0xCD);
        uint32_t simWritten = 0;
        const bool simOk = usb_.IoControl(handle, code, input.data(), inSize, simOut.data(), outSize, &simWritten);

        std::vector<uint8_t> system(std::max(inSize, outSize) + 1, 0xCD);
        if (inSize)
            memcpy(system.data(), input.data(), inSize);
        uint32_t flatWritten = 0;
        uint32_t cycled = FLAT_NONE;
        const bool flatOk =
            controller ? FlatControllerIoControl(&stack_, index, code, system.data(), inSize, outSize, &flatWritten)
                       : FlatHubIoControl(&stack_, index, code, system.data(), inSize, outSize, &flatWritten, &cycled);
        ++compared_;
        const std::string where = name_ + ": " + what + " code " + std::to_string(code) + " in " +
                                  std::to_string(inSize) + " out " + std::to_string(outSize);
        ASSERT_EQ(flatOk, simOk) << where;
        if (!simOk)
            return;
        ASSERT_EQ(flatWritten, simWritten) << where;
        ASSERT_LE(flatWritten, outSize) << where;
        ASSERT_EQ(0, memcmp(system.data(), simOut.data(), simWritten)) << where;
        if (code == IOCTL_USB_HUB_CYCLE_PORT) {
            ASSERT_EQ(cycled, *reinterpret_cast<const uint32_t*>(input.data())) << where;
        }
    }

    void Controller(uint32_t index)
    {
        const std::string path = usb_.ControllerDevicePath(index);
        for (uint32_t other = 0; other < index; ++other)
            if (usb_.ControllerDevicePath(other) == path)
                return;  // the path opens the first controller with it
        DeviceHandle handle = usb_.OpenDevice(path.c_str());
        if (handle == InvalidDeviceHandle())
            return;
        for (uint32_t size : {0u, 5u, 6u, 7u, 8u, 20u, 600u})
            Ask(handle, true, index, IOCTL_USB_GET_ROOT_HUB_NAME, {}, size, "root hub name");
        Ask(handle, true, index, IOCTL_USB_GET_NODE_CONNECTION_NAME, std::vector<uint8_t>(10), 10, "other code");
        usb_.CloseDevice(handle);
    }

    static std::vector<uint8_t> Index(uint32_t port, size_t size)
    {
        std::vector<uint8_t> input(size);
        memcpy(input.data(), &port, std::min<size_t>(size, 4));
        return input;
    }

    void Hub(uint32_t index, const FlatHub& hub)
    {
        const std::string name = "\\\\.\\" + Ascii(flat_.hubs[index]->name);
        DeviceHandle handle = usb_.OpenDevice(name.c_str());
        ASSERT_NE(handle, InvalidDeviceHandle()) << name_ << ": " << name;
        for (uint32_t size : {75u, 76u, 90u})
            Ask(handle, false, index, IOCTL_USB_GET_NODE_INFORMATION, std::vector<uint8_t>(size), size, "node");
        const uint32_t ports = hub.portCount & 0xFF;
        for (uint32_t port = 0; port <= ports + 1; ++port) {
            for (uint32_t code : {IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX,
                                  IOCTL_USB_GET_NODE_CONNECTION_INFORMATION}) {
                for (uint32_t size : {34u, 35u, 46u, 57u, 35u + 11u * 32u, 3000u})
                    Ask(handle, false, index, code, Index(port, size), size, "connection");
            }
            for (uint32_t code : {IOCTL_USB_GET_NODE_CONNECTION_NAME, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME}) {
                for (uint32_t size : {9u, 10u, 11u, 12u, 30u, 600u})
                    Ask(handle, false, index, code, Index(port, size), size, "name");
            }
            for (uint32_t size : {4u, 7u, 8u})
                Ask(handle, false, index, IOCTL_USB_HUB_CYCLE_PORT, Index(port, size), 0, "cycle");
            Descriptors(handle, index, hub, port);
        }
        Ask(handle, false, index, 0x220000, Index(1, 8), 8, "other code");
        usb_.CloseDevice(handle);
    }

    void Descriptors(DeviceHandle handle, uint32_t hub, const FlatHub& record, uint32_t port)
    {
        // The string indices and languages the device holds, and a few it does not.
        std::vector<uint16_t> values = {0x0100, 0x0200, 0x0201, 0x0203, 0x0300, 0x0301, 0x03FF, 0x0600, 0x0000};
        std::vector<uint16_t> languages = {0x0000, 0x0409, 0x0407, 0xFFFF};
        const uint32_t at = FlatFindPort(flat_.Data(), hub, port);
        (void)record;
        if (at != FLAT_NONE) {
            const FlatHeader* header = reinterpret_cast<const FlatHeader*>(flat_.Data());
            const FlatPort& flatPort = reinterpret_cast<const FlatPort*>(flat_.Data() + header->ports)[at];
            const auto* strings = reinterpret_cast<const FlatString*>(flat_.Data() + header->strings);
            for (uint32_t i = 0; i < flatPort.stringCount && i < 40; ++i) {
                values.push_back(static_cast<uint16_t>(0x0300 | strings[flatPort.firstString + i].index));
                languages.push_back(strings[flatPort.firstString + i].language);
            }
        }
        for (uint16_t value : values) {
            for (uint16_t language : languages) {
                if ((value >> 8) != 3 && language != 0)
                    continue;
                for (uint16_t length : {0, 2, 9, 18, 255, 4096}) {
                    // Room for what was asked, one byte less, and more.
                    const uint32_t asked = 12u + std::min<uint32_t>(length, 300);
                    for (uint32_t size : {asked, asked > 12 ? asked - 1 : asked, asked + 100}) {
                        std::vector<uint8_t> input = Index(port, 12);
                        memcpy(input.data() + 6, &value, 2);
                        memcpy(input.data() + 8, &language, 2);
                        memcpy(input.data() + 10, &length, 2);
                        Ask(handle, false, hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, input, size,
                            "descriptor");
                    }
                }
            }
        }
        std::vector<uint8_t> shortRequest = Index(port, 11);
        Ask(handle, false, hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, shortRequest, 30, "short descriptor");
    }

    std::string name_;
    SimUsbPlatform usb_;
    FlatTopology flat_;
    FlatStack stack_{};
    size_t compared_ = 0;
};

std::vector<std::filesystem::path> TopologyFiles()
{
    std::vector<std::filesystem::path> files;
    for (const char* folder : {"/samples", "/tests/fuzz/corpus/topology_file"})
        for (const auto& entry : std::filesystem::directory_iterator(std::string(PORTOLAN_SOURCE_DIR) + folder))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(FlatUsbAnswers, AreTheSimulatedStacksAnswersOnEveryTopologyOfTheSamplesAndTheCorpus)
{
    size_t topologies = 0;
    size_t compared = 0;
    for (const auto& file : TopologyFiles()) {
        SimTopology topology;
        std::string error;
        if (!LoadTopologyFile(file.string(), &topology, &error))
            continue;
        Comparison comparison(topology, file.filename().string());
        comparison.Run();
        if (HasFatalFailure())
            return;
        compared += comparison.Compared();
        ++topologies;
    }
    EXPECT_GT(topologies, 50u);
    EXPECT_GT(compared, 100000u);
}

TEST(FlatUsbAnswers, BlocksThatAreNotWholeAreRefused)
{
    SimTopology topology;
    std::string error;
    ASSERT_TRUE(LoadTopologyFile(std::string(PORTOLAN_SOURCE_DIR) + "/samples/office-pc.json", &topology, &error));
    FlatTopology flat = FlattenTopology(topology);
    ASSERT_TRUE(FlatCheck(flat.Data(), flat.Size()));
    EXPECT_FALSE(FlatCheck(flat.Data(), flat.Size() - 4)) << "a block cut short";
    auto* header = reinterpret_cast<FlatHeader*>(flat.words.data());
    const FlatHeader saved = *header;
    for (auto broken : {&FlatHeader::magic, &FlatHeader::version, &FlatHeader::hubCount, &FlatHeader::ports,
                        &FlatHeader::stringCount}) {
        *header = saved;
        header->*broken += 0x01000001;
        EXPECT_FALSE(FlatCheck(flat.Data(), flat.Size()));
    }
    *header = saved;
    auto* hubs = reinterpret_cast<FlatHub*>(flat.words.data() + header->hubs / 4);
    hubs[0].name.size = flat.Size();
    EXPECT_FALSE(FlatCheck(flat.Data(), flat.Size())) << "a span past the end";
}

TEST(FlatUsbAnswers, EdgesOfTheRecordsMatch)
{
    // A string longer than a descriptor holds, more pipes than fit, a second
    // reply for the configuration set, a hub naming another hub's name.
    SimTopology topology;
    std::vector<SimPort> ports;
    SimPort device = testing_topology::Device(1, 0x1234, 0x5678, "{k}\\0001", 2);
    device.strings[1][0x0409] = std::u16string(130, u'x');
    device.strings[2][0x0409] = std::u16string(127, u'y');
    device.hasLanguageList = true;
    device.languages = {0x0409};
    for (int i = 0; i < 40; ++i)
        device.pipes.push_back({7, 5, static_cast<uint8_t>(0x81 + i % 15), 2, 64, 0, 0});
    device.configSecondReply = std::vector<uint8_t>{9, 2, 9, 0};
    ports.push_back(std::move(device));
    ports.push_back(testing_topology::HubPort(2, testing_topology::Hub("root", 2)));
    topology.controllers.push_back(testing_topology::ControllerWith("HC", testing_topology::Hub("ROOT", 4, std::move(ports))));
    Comparison comparison(topology, "edges");
    comparison.Run();
    EXPECT_GT(comparison.Compared(), 1000u);
}
