#include "sim/sim_usb_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sim/kernel/usb_answers.h"
#include "sim/sim_code_page.h"
#include "tree/ascii_case.h"
#include "usb/usb_records.h"

namespace {

template <typename Record>
void Keep(std::deque<Record>& record, Record entry)
{
    record.push_back(std::move(entry));
    if (record.size() > SimUsbPlatform::kRecordKept)
        record.pop_front();
}

const FlatHub& HubOf(const FlatTopology& flat, uint32_t hub)
{
    const auto* header = reinterpret_cast<const FlatHeader*>(flat.Data());
    return reinterpret_cast<const FlatHub*>(flat.Data() + header->hubs)[hub];
}

const uint16_t* BlockHubName(void* context, uint32_t hub, uint32_t* units)
{
    const auto& flat = *static_cast<const FlatTopology*>(context);
    const FlatHub& record = HubOf(flat, hub);
    *units = record.name.size / 2;
    return reinterpret_cast<const uint16_t*>(flat.Data() + record.name.offset);
}

}  // namespace

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

void SimUsbPlatform::Flatten()
{
    flat_ = FlattenTopology(topology_);
    controllerByPath_.clear();
    for (uint32_t i = 0; i < topology_.controllers.size(); ++i)
        controllerByPath_.try_emplace(FoldedAsciiCase(ControllerDevicePath(i)), i);
}

ControllerSet SimUsbPlatform::OpenControllerSet()
{
    if (!topology_.controllerSet)
        return nullptr;
    Flatten();
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

DeviceHandle SimUsbPlatform::OpenDevice(const char* path)
{
    ++counters_.opens;
    if (flat_.words.empty() || (openSets_ == 0 && handles_.empty()))
        Flatten();
    const std::string wanted = path ? path : "";
    const auto* header = reinterpret_cast<const FlatHeader*>(flat_.Data());
    const auto* controllers = reinterpret_cast<const FlatController*>(flat_.Data() + header->controllers);
    std::optional<Target> target;
    if (auto found = controllerByPath_.find(FoldedAsciiCase(wanted));
        found != controllerByPath_.end() && (controllers[found->second].flags & FLAT_CONTROLLER_OPEN))
        target = Target{true, found->second};
    const std::string prefix = "\\\\.\\";
    // "\\.\" alone names no device; CreateFileA fails on it.
    if (!target && wanted.size() > prefix.size() && wanted.compare(0, prefix.size(), prefix) == 0) {
        auto found = flat_.hubByName.find(FoldedAsciiCase(wanted.substr(prefix.size())));
        if (found != flat_.hubByName.end() && (HubOf(flat_, found->second).flags & FLAT_HUB_OPEN))
            target = Target{false, found->second};
    }
    if (!target) {
        ++counters_.openFailures;
        return InvalidDeviceHandle();
    }
    DeviceHandle handle = reinterpret_cast<DeviceHandle>(nextHandle_);
    nextHandle_ += 4;
    handles_[handle] = *target;
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
    const FlatStack stack{flat_.Data(), BlockHubName, &flat_, nullptr};
    const Target target = found->second;
    uint32_t written = 0;
    bool ok;
    if (target.controller) {
        ok = FlatControllerIoControl(&stack, target.index, code, system.data(), inSize, outSize, &written);
    } else {
        if (code == IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION && inSize >= sizeof(USB_DESCRIPTOR_REQUEST) &&
            outSize >= sizeof(USB_DESCRIPTOR_REQUEST)) {
            const auto* request = reinterpret_cast<const USB_DESCRIPTOR_REQUEST*>(system.data());
            Keep(descriptorRequests_, DescriptorRequest{request->ConnectionIndex, request->SetupPacket.wValue,
                                                        request->SetupPacket.wIndex, request->SetupPacket.wLength,
                                                        outSize});
        }
        uint32_t cycled = 0;
        ok = FlatHubIoControl(&stack, target.index, code, system.data(), inSize, outSize, &written, &cycled);
        if (ok && cycled)
            Keep(cycles_, std::make_pair(Cp1252FromUtf16(flat_.hubs[target.index]->name), cycled));
    }
    if (!ok)
        return false;
    written = std::min(written, outSize);
    if (written && out)
        memcpy(out, system.data(), written);
    *bytesReturned = written;
    return true;
}
