#include "sim/sim_usb_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/sim_code_page.h"
#include "tree/ascii_case.h"
#include "usb/usb_records.h"

namespace {

constexpr uint8_t kEndpointType = 5;
constexpr uint8_t kHubDescriptorType = 0x29;

std::string Ascii(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text)
        out += Cp1252FromUnit(unit);
    return out;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && FoldedAsciiCase(a) == FoldedAsciiCase(b);
}

template <typename Record>
void Keep(std::deque<Record>& record, Record entry)
{
    record.push_back(std::move(entry));
    if (record.size() > SimUsbPlatform::kRecordKept)
        record.pop_front();
}

SimPort* FindPort(SimHub& hub, uint32_t index)
{
    for (auto& port : hub.ports)
        if (port.port == index)
            return &port;
    return nullptr;
}

uint32_t PortCount(const SimHub& hub)
{
    return hub.portCount & 0xFF;
}

// The endpoints of configuration set 0 stand in for the open pipes of a
// configured device when the topology lists none.
std::vector<std::vector<uint8_t>> OpenPipes(const SimPort& port)
{
    if (!port.pipes.empty() || port.status != 1 || port.configValue == 0 || port.configDescriptors.empty())
        return port.pipes;
    std::vector<std::vector<uint8_t>> pipes;
    const auto& set = port.configDescriptors[0];
    size_t cursor = 0;
    while (cursor + 2 <= set.size()) {
        uint8_t length = set[cursor];
        if (length < 2 || cursor + length > set.size())
            break;
        if (set[cursor + 1] == kEndpointType && length >= 7)
            pipes.emplace_back(set.begin() + static_cast<long>(cursor), set.begin() + static_cast<long>(cursor) + 7);
        cursor += length;
    }
    return pipes;
}

// Writes the fixed part and as many pipes as fit; returns the bytes written.
template <typename Record>
uint32_t FillConnection(Record* record, uint32_t outSize, const SimPort* port, uint8_t speedField)
{
    uint32_t index = record->ConnectionIndex;
    memset(record, 0, outSize);
    record->ConnectionIndex = index;
    if (!port)
        return sizeof(Record);
    if (port->deviceDescriptor.size() == sizeof(USB_DEVICE_DESCRIPTOR))
        memcpy(&record->DeviceDescriptor, port->deviceDescriptor.data(), sizeof(USB_DEVICE_DESCRIPTOR));
    record->CurrentConfigurationValue = port->configValue;
    memcpy(reinterpret_cast<uint8_t*>(record) + offsetof(Record, CurrentConfigurationValue) + 1, &speedField, 1);
    record->DeviceIsHub = port->isHub ? 1 : 0;
    record->DeviceAddress = port->address;
    record->ConnectionStatus = static_cast<decltype(record->ConnectionStatus)>(port->status);
    const auto pipes = OpenPipes(*port);
    record->NumberOfOpenPipes = static_cast<uint32_t>(pipes.size());
    uint32_t written = sizeof(Record);
    auto* out = reinterpret_cast<uint8_t*>(record);
    for (const auto& pipe : pipes) {
        if (written + sizeof(USB_PIPE_INFO) > outSize)
            break;
        if (!pipe.empty())
            memcpy(out + written, pipe.data(), std::min<size_t>(pipe.size(), sizeof(USB_ENDPOINT_DESCRIPTOR)));
        written += sizeof(USB_PIPE_INFO);
    }
    return written;
}

std::vector<uint8_t> StringDescriptor(const std::u16string& text)
{
    // bLength is one byte: at most 126 units fit.
    size_t units = std::min<size_t>(text.size(), 126);
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>(2 + 2 * units));
    bytes.push_back(3);
    for (size_t i = 0; i < units; ++i) {
        bytes.push_back(static_cast<uint8_t>(text[i] & 0xFF));
        bytes.push_back(static_cast<uint8_t>(text[i] >> 8));
    }
    return bytes;
}

// What the device sends for a GET_DESCRIPTOR request; false: it stalls.
bool DeviceDescriptorReply(const SimPort& port, uint16_t value, uint16_t index, uint16_t length,
                           std::vector<uint8_t>* reply)
{
    const uint8_t type = static_cast<uint8_t>(value >> 8);
    const uint8_t number = static_cast<uint8_t>(value & 0xFF);
    char failName[32];
    if (type == 1) {
        *reply = port.deviceDescriptor;
        return !reply->empty();
    }
    if (type == 2) {
        if (port.fail.count(length == sizeof(USB_CONFIGURATION_DESCRIPTOR) ? "config_probe" : "config"))
            return false;
        if (number >= port.configDescriptors.size())
            return false;
        *reply = port.configDescriptors[number];
        if (length != sizeof(USB_CONFIGURATION_DESCRIPTOR) && port.configSecondReply)
            *reply = *port.configSecondReply;
        return true;
    }
    if (type != 3)
        return false;
    snprintf(failName, sizeof(failName), "string:%u:%04X", number, index);
    std::string upper = failName;
    snprintf(failName, sizeof(failName), "string:%u:%04x", number, index);
    if (port.fail.count(upper) || port.fail.count(failName))
        return false;
    auto raw = port.rawStrings.find({number, index});
    if (raw != port.rawStrings.end()) {
        *reply = raw->second;
        return true;
    }
    if (number == 0) {
        if (!port.hasLanguageList && port.languages.empty())
            return false;
        std::u16string ids;
        for (uint16_t id : port.languages)
            ids += static_cast<char16_t>(id);
        *reply = StringDescriptor(ids);
        return true;
    }
    auto byIndex = port.strings.find(number);
    if (byIndex == port.strings.end())
        return false;
    auto text = byIndex->second.find(index);
    if (text == byIndex->second.end())
        return false;
    *reply = StringDescriptor(text->second);
    return true;
}

// Writes a name record's ActualLength and as much of the name as fits.
uint32_t FillName(uint8_t* out, uint32_t outSize, uint32_t nameOffset, const std::u16string& name)
{
    const uint32_t actualLength = nameOffset + static_cast<uint32_t>((name.size() + 1) * sizeof(char16_t));
    memcpy(out + nameOffset - sizeof(uint32_t), &actualLength, sizeof(uint32_t));
    std::u16string terminated = name;
    terminated.push_back(0);
    const uint32_t room = (outSize - nameOffset) / sizeof(char16_t);
    const size_t units = std::min<size_t>(room, terminated.size());
    memcpy(out + nameOffset, terminated.data(), units * sizeof(char16_t));
    return std::min(outSize, actualLength);
}

}  // namespace

uint64_t SimUsbPlatform::Counters::Ioctls() const
{
    uint64_t total = 0;
    for (const auto& [code, count] : ioctl)
        total += count;
    return total;
}

SimUsbPlatform::SimUsbPlatform(SimTopology& topology) : topology_(topology) {}

SimUsbPlatform::~SimUsbPlatform() = default;

std::string SimUsbPlatform::ControllerDevicePath(uint32_t index) const
{
    const SimController& controller = topology_.controllers[index];
    if (!controller.devicePath.empty())
        return controller.devicePath;
    char path[128];
    snprintf(path, sizeof(path), "\\\\?\\pci#ven_8086&dev_sim%u#3&11583659&0&%02x#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}",
             index, index);
    return path;
}

ControllerSet SimUsbPlatform::OpenControllerSet()
{
    if (!topology_.controllerSet)
        return nullptr;
    index_.built = false;
    ++counters_.setsOpened;
    ++openSets_;
    return &topology_;
}

bool SimUsbPlatform::EnumController(ControllerSet set, uint32_t index)
{
    return set == &topology_ && index < topology_.controllers.size() && !topology_.controllers[index].fail.count("enum");
}

uint32_t SimUsbPlatform::ControllerPathSize(ControllerSet set, uint32_t index)
{
    if (!EnumController(set, index) || topology_.controllers[index].fail.count("interface"))
        return 0;
    return static_cast<uint32_t>(ControllerDevicePath(index).size() + 1);
}

const char* SimUsbPlatform::ControllerPath(ControllerSet set, uint32_t index, void* buffer, uint32_t size)
{
    if (!EnumController(set, index) || topology_.controllers[index].fail.count("path"))
        return nullptr;
    const std::string path = ControllerDevicePath(index);
    if (path.size() + 1 > size)
        return nullptr;
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<const char*>(buffer);
}

bool SimUsbPlatform::ControllerDescription(ControllerSet set, uint32_t index, char* buffer, uint32_t size)
{
    if (!EnumController(set, index))
        return false;
    const auto& description = topology_.controllers[index].description;
    if (!description || description->size() + 1 > size)
        return false;
    memcpy(buffer, description->c_str(), description->size() + 1);
    return true;
}

void SimUsbPlatform::CloseControllerSet(ControllerSet set)
{
    if (set == &topology_ && openSets_ > 0) {
        ++counters_.setsClosed;
        --openSets_;
    }
}

// Depth-first over every hub of every controller, in the order the index
// is built in: the first hub found under a name is the one it opens.
template <typename Visit>
void EachHub(SimTopology& topology, Visit visit)
{
    struct Pending {
        SimHub* hub;
        std::vector<uint32_t> location;
    };
    std::vector<Pending> pending;
    for (uint32_t i = 0; i < topology.controllers.size(); ++i)
        if (topology.controllers[i].rootHub)
            pending.push_back({topology.controllers[i].rootHub.get(), {i}});
    while (!pending.empty()) {
        Pending next = std::move(pending.back());
        pending.pop_back();
        if (!visit(*next.hub, next.location))
            return;
        for (uint32_t i = 0; i < next.hub->ports.size(); ++i) {
            if (SimHub* hub = next.hub->ports[i].hub.get()) {
                std::vector<uint32_t> location = next.location;
                location.push_back(i);
                pending.push_back({hub, std::move(location)});
            }
        }
    }
}

void SimUsbPlatform::BuildIndex()
{
    index_ = NameIndex{};
    index_.built = true;
    index_.controllers = topology_.controllers.data();
    index_.controllerCount = topology_.controllers.size();
    for (uint32_t i = 0; i < topology_.controllers.size(); ++i)
        index_.controllerByPath.try_emplace(FoldedAsciiCase(ControllerDevicePath(i)), i);
    EachHub(topology_, [&](SimHub& hub, const std::vector<uint32_t>& location) {
        index_.hubByName.try_emplace(FoldedAsciiCase(Ascii(hub.name)), location);
        return true;
    });
}

SimHub* SimUsbPlatform::HubAt(const std::vector<uint32_t>& location)
{
    if (location.empty() || location[0] >= topology_.controllers.size())
        return nullptr;
    SimHub* hub = topology_.controllers[location[0]].rootHub.get();
    for (size_t i = 1; hub && i < location.size(); ++i)
        hub = location[i] < hub->ports.size() ? hub->ports[location[i]].hub.get() : nullptr;
    return hub;
}

SimController* SimUsbPlatform::FindController(const std::string& path)
{
    if (!index_.built || index_.controllers != topology_.controllers.data() ||
        index_.controllerCount != topology_.controllers.size())
        BuildIndex();
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto found = index_.controllerByPath.find(FoldedAsciiCase(path));
        if (found == index_.controllerByPath.end())
            return nullptr;
        if (found->second < topology_.controllers.size() &&
            SameNameIgnoringCase(ControllerDevicePath(found->second), path))
            return &topology_.controllers[found->second];
        BuildIndex();  // the topology changed under the index
    }
    return nullptr;
}

SimHub* SimUsbPlatform::FindHub(const std::string& name)
{
    if (!index_.built)
        BuildIndex();
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto found = index_.hubByName.find(FoldedAsciiCase(name));
        if (found == index_.hubByName.end())
            break;
        SimHub* hub = HubAt(found->second);
        if (hub && SameNameIgnoringCase(Ascii(hub->name), name))
            return hub;
        BuildIndex();
    }
    // A hub added since the index was built.
    return FindHubLinear(name);
}

SimHub* SimUsbPlatform::FindHubLinear(const std::string& name)
{
    SimHub* match = nullptr;
    EachHub(topology_, [&](SimHub& hub, const std::vector<uint32_t>&) {
        if (SameNameIgnoringCase(Ascii(hub.name), name))
            match = &hub;
        return !match;
    });
    return match;
}

DeviceHandle SimUsbPlatform::OpenDevice(const char* path)
{
    ++counters_.opens;
    const std::string wanted = path ? path : "";
    Target target;
    if (SimController* controller = FindController(wanted); controller && controller->open)
        target.controller = controller;
    const std::string prefix = "\\\\.\\";
    // "\\.\" alone names no device; CreateFileA fails on it.
    if (!target.controller && wanted.size() > prefix.size() && wanted.compare(0, prefix.size(), prefix) == 0) {
        SimHub* hub = FindHub(wanted.substr(prefix.size()));
        if (hub && hub->open)
            target.hub = hub;
    }
    if (!target.controller && !target.hub) {
        ++counters_.openFailures;
        return InvalidDeviceHandle();
    }
    DeviceHandle handle = reinterpret_cast<DeviceHandle>(nextHandle_);
    nextHandle_ += 4;
    handles_[handle] = target;
    return handle;
}

void SimUsbPlatform::CloseDevice(DeviceHandle handle)
{
    ++counters_.closes;
    handles_.erase(handle);
}

bool SimUsbPlatform::IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out,
                               uint32_t outSize, uint32_t* bytesReturned)
{
    ++counters_.ioctl[code];
    *bytesReturned = 0;
    auto found = handles_.find(handle);
    if (found == handles_.end())
        return false;
    // METHOD_BUFFERED: the driver sees one system buffer holding the input,
    // and writes its answer into it.
    std::vector<uint8_t> system(std::max(inSize, outSize));
    if (in && inSize)
        memcpy(system.data(), in, inSize);
    bool ok = false;
    uint32_t written = 0;
    if (found->second.controller) {
        ok = ControllerIoControl(*found->second.controller, code, system.data(), outSize, &written);
    } else {
        ok = HubIoControl(*found->second.hub, code, system.data(), inSize, system.data(), outSize, &written);
    }
    if (!ok)
        return false;
    written = std::min(written, outSize);
    if (written && out)
        memcpy(out, system.data(), written);
    *bytesReturned = written;
    return true;
}

bool SimUsbPlatform::ControllerIoControl(SimController& controller, uint32_t code, void* out, uint32_t outSize,
                                         uint32_t* bytesReturned)
{
    if (code != IOCTL_USB_GET_ROOT_HUB_NAME || !controller.rootHub || outSize < sizeof(USB_ROOT_HUB_NAME))
        return false;
    const bool probe = outSize == sizeof(USB_ROOT_HUB_NAME);
    if (controller.fail.count(probe ? "root_hub_name_probe" : "root_hub_name"))
        return false;
    memset(out, 0, outSize);
    *bytesReturned = FillName(static_cast<uint8_t*>(out), outSize, offsetof(USB_ROOT_HUB_NAME, RootHubName),
                              controller.rootHub->name);
    return true;
}

bool SimUsbPlatform::HubIoControl(SimHub& hub, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                                  uint32_t* bytesReturned)
{
    auto* buffer = static_cast<uint8_t*>(out);
    uint32_t index = 0;
    if (inSize >= sizeof(uint32_t))
        memcpy(&index, in, sizeof(uint32_t));
    const bool validPort = index >= 1 && index <= PortCount(hub);
    SimPort* port = validPort ? FindPort(hub, index) : nullptr;

    switch (code) {
    case IOCTL_USB_GET_NODE_INFORMATION: {
        if (inSize < sizeof(USB_NODE_INFORMATION) || outSize < sizeof(USB_NODE_INFORMATION) || !hub.nodeQuery)
            return false;
        auto* info = reinterpret_cast<USB_NODE_INFORMATION*>(buffer);
        memset(info, 0, sizeof(*info));
        info->NodeType = UsbHub;
        USB_HUB_DESCRIPTOR& descriptor = info->u.HubInformation.HubDescriptor;
        const uint32_t ports = PortCount(hub);
        descriptor.bDescriptorLength = static_cast<uint8_t>(7 + 2 * ((ports + 8) / 8));
        descriptor.bDescriptorType = kHubDescriptorType;
        descriptor.bNumberOfPorts = static_cast<uint8_t>(ports);
        descriptor.wHubCharacteristics = 0x0009;
        descriptor.bPowerOnToPowerGood = 50;
        descriptor.bHubControlCurrent = 100;
        info->u.HubInformation.HubIsBusPowered = 0;
        *bytesReturned = sizeof(USB_NODE_INFORMATION);
        return true;
    }
    case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX:
    case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION: {
        const bool newer = code == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX;
        if (inSize < sizeof(USB_NODE_CONNECTION_INFORMATION_EX) || outSize < sizeof(USB_NODE_CONNECTION_INFORMATION_EX))
            return false;
        if (!validPort || (port && port->fail.count(newer ? "connection_ex" : "connection")))
            return false;
        if (newer)
            *bytesReturned = FillConnection(reinterpret_cast<USB_NODE_CONNECTION_INFORMATION_EX*>(buffer), outSize, port,
                                            port ? port->speed : 0);
        else
            *bytesReturned = FillConnection(reinterpret_cast<USB_NODE_CONNECTION_INFORMATION*>(buffer), outSize, port,
                                            port && port->speed == 0 ? 1 : 0);
        return true;
    }
    case IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION: {
        if (inSize < sizeof(USB_DESCRIPTOR_REQUEST) || outSize < sizeof(USB_DESCRIPTOR_REQUEST))
            return false;
        auto* request = reinterpret_cast<USB_DESCRIPTOR_REQUEST*>(buffer);
        Keep(descriptorRequests_, DescriptorRequest{index, request->SetupPacket.wValue, request->SetupPacket.wIndex,
                                                    request->SetupPacket.wLength, outSize});
        if (!port || port->status != 1)
            return false;
        std::vector<uint8_t> reply;
        if (!DeviceDescriptorReply(*port, request->SetupPacket.wValue, request->SetupPacket.wIndex,
                                   request->SetupPacket.wLength, &reply))
            return false;
        const size_t room = outSize - sizeof(USB_DESCRIPTOR_REQUEST);
        const size_t count = std::min({reply.size(), size_t{request->SetupPacket.wLength}, room});
        if (count)
            memcpy(request->Data, reply.data(), count);
        *bytesReturned = static_cast<uint32_t>(sizeof(USB_DESCRIPTOR_REQUEST) + count);
        return true;
    }
    case IOCTL_USB_GET_NODE_CONNECTION_NAME:
    case IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME: {
        const bool driverKey = code == IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME;
        if (inSize < sizeof(USB_NODE_CONNECTION_NAME) || outSize < sizeof(USB_NODE_CONNECTION_NAME) || !validPort)
            return false;
        const bool probe = outSize == sizeof(USB_NODE_CONNECTION_NAME);
        std::u16string name;
        if (driverKey) {
            if (!port || port->status == 0 || !port->driverKey)
                return false;
            if (port->fail.count(probe ? "driver_key_probe" : "driver_key"))
                return false;
            name = *port->driverKey;
        } else {
            if (port && port->fail.count(probe ? "hub_name_probe" : "hub_name"))
                return false;
            // A port without a hub has an empty name.
            if (port && port->isHub && port->hub)
                name = port->hub->name;
        }
        memset(buffer + sizeof(uint32_t), 0, outSize - sizeof(uint32_t));
        *bytesReturned = FillName(buffer, outSize, offsetof(USB_NODE_CONNECTION_NAME, NodeName), name);
        return true;
    }
    case IOCTL_USB_HUB_CYCLE_PORT: {
        // The documented input is a whole USB_CYCLE_PORT_PARAMS.
        if (inSize < sizeof(USB_CYCLE_PORT_PARAMS) || !validPort || (port && port->fail.count("cycle_port")) ||
            !topology_.callerElevated)
            return false;
        Keep(cycles_, std::make_pair(Ascii(hub.name), index));
        *bytesReturned = 0;
        return true;
    }
    default:
        return false;
    }
}
