// A USB stack served from a topology in memory: SetupAPI's host-controller
// list from the topology, and the host-controller and hub drivers' answers
// to their I/O controls from the flat block the kernel driver reads, by the
// same answering code.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "sim/flat_topology_writer.h"
#include "sim/sim_topology.h"
#include "usb/usb_platform.h"

class SimUsbPlatform : public UsbPlatform {
public:
    explicit SimUsbPlatform(SimTopology& topology);
    ~SimUsbPlatform() override;

    ControllerSet OpenControllerSet() override;
    bool EnumController(ControllerSet set, uint32_t index) override;
    uint32_t ControllerPathSize(ControllerSet set, uint32_t index) override;
    const char* ControllerPath(ControllerSet set, uint32_t index, void* buffer, uint32_t size) override;
    bool ControllerDescription(ControllerSet set, uint32_t index, char* buffer, uint32_t size) override;
    void CloseControllerSet(ControllerSet set) override;
    DeviceHandle OpenDevice(const char* path) override;
    bool IoControl(DeviceHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* bytesReturned) override;
    void CloseDevice(DeviceHandle handle) override;

    // What the stack was asked: answered I/O controls by code, opens (also
    // failed ones), closes, SetupAPI sets.
    struct Counters {
        std::map<uint32_t, uint64_t> ioctl;
        uint64_t opens = 0;
        uint64_t openFailures = 0;
        uint64_t closes = 0;
        uint64_t setsOpened = 0;
        uint64_t setsClosed = 0;
    };
    const Counters& Count() const { return counters_; }
    void ResetCounters() { counters_ = Counters{}; }
    // Handles and sets opened and not closed yet.
    size_t OpenHandles() const { return handles_.size(); }
    size_t OpenSets() const { return openSets_; }

    // How many descriptor requests and port cycles are kept: the latest.
    static constexpr size_t kRecordKept = 4096;

    // The descriptor requests as the hub driver received them, oldest first.
    struct DescriptorRequest {
        uint32_t port;
        uint16_t value;
        uint16_t index;
        uint16_t length;
        uint32_t size;   // input and output buffer size
    };
    const std::deque<DescriptorRequest>& DescriptorRequests() const { return descriptorRequests_; }

    // Port cycles the hub driver accepted: hub name and port.
    const std::deque<std::pair<std::string, uint32_t>>& Cycles() const { return cycles_; }

    // The path SetupAPI reports for controller index.
    std::string ControllerDevicePath(uint32_t index) const;

private:
    struct Target {
        bool controller = false;
        uint32_t index = 0;  // controller, or hub of the block
    };
    // The topology as the drivers see it: flattened when a controller set
    // opens (every scan starts so) and when a device opens with nothing else
    // open, so that a topology changed between scans is what they answer from.
    void Flatten();

    SimTopology& topology_;
    FlatTopology flat_;
    // Controller paths, ASCII letters folded, to their index; hub names are
    // looked up in the block's own map.
    std::unordered_map<std::string, uint32_t> controllerByPath_;
    Counters counters_;
    std::map<DeviceHandle, Target> handles_;
    uintptr_t nextHandle_ = 0x100;
    size_t openSets_ = 0;
    std::deque<std::pair<std::string, uint32_t>> cycles_;
    std::deque<DescriptorRequest> descriptorRequests_;
};
