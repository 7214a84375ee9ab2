// Puts a simulated PC in place of the platform: USB stack, registry, code
// page, tree container, status line, panel, menu shell, HTML Help and
// allocation tracking, all at once (the process seam of the hand-over
// excepted, which its own tests fake).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "assess/memory_panel.h"
#include "tree/memory_tree.h"
#include "sim/recording_help.h"
#include "sim/recording_shell.h"
#include "sim/sim_code_page.h"
#include "sim/sim_memory.h"
#include "sim/sim_registry.h"
#include "sim/sim_topology.h"
#include "sim/sim_usb_platform.h"

// What a scan asked of the simulated platform since the counters were last
// reset.
struct PlatformRequests {
    std::map<uint32_t, uint64_t> ioctl;  // answered I/O controls by code
    uint64_t sets = 0;                   // SetupAPI sets opened
    uint64_t opens = 0;                  // device opens, failed ones too
    uint64_t closes = 0;
    uint64_t registry = 0;               // registry calls

    uint64_t Ioctl(uint32_t code) const;
    uint64_t Usb() const;  // I/O controls of every code
};

class SimSession {
public:
    explicit SimSession(SimTopology topology);
    ~SimSession();
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    SimTopology& Topology() { return topology_; }
    SimUsbPlatform& Usb() { return usb_; }
    const SimUsbPlatform& Usb() const { return usb_; }
    SimRegistry& Registry() { return registry_; }
    const SimRegistry& Registry() const { return registry_; }
    MemoryTree& Tree() { return tree_; }
    MemoryStatusLine& Status() { return status_; }
    MemoryPanel& PanelControls() { return panel_; }
    RecordingShell& Shell() { return shell_; }
    RecordingHelp& Help() { return help_; }
    SimMemory& Memory() { return memory_; }

    PlatformRequests Requests() const;
    void ResetCounters();

    // What is still open or held, e.g. "handles 1, blocks 3"; empty when
    // nothing is. With clearTree, ClearTree runs first, so that blocks and
    // tree items count too.
    std::string Leftovers(bool clearTree);

private:
    SimTopology topology_;
    SimUsbPlatform usb_;
    SimRegistry registry_;
    Cp1252CodePage codePage_;
    MemoryTree tree_;
    MemoryStatusLine status_;
    MemoryPanel panel_;
    RecordingShell shell_;
    RecordingHelp help_;
    SimMemory memory_;
};
