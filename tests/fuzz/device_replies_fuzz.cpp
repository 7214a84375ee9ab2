// Starts from the sample PCs and mutates what their devices and hubs answer:
// device and configuration descriptors, LanguageLists, string descriptors,
// hub names (an ancestor's among them), port counts, speeds and failing
// steps. Then a refresh, a selection of every item, a port cycle and the
// clearing of the tree; afterwards nothing may be left open or allocated.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/menu_commands.h"
#include "assess/property_panel.h"
#include "sim/recording_shell.h"
#include "sim/sim_session.h"
#include "sim/topology_loader.h"
#include "tests/fuzz/fuzzed_platform.h"
#include "tests/support/run_command.h"
#include "tests/support/tree_snapshot.h"
#include "tree/topology_scan.h"

namespace {

std::vector<std::string> Samples;

// Descriptors worth splicing into a set: a short endpoint at the end, an
// isochronous endpoint, interfaces naming strings, a zero-length header.
const std::vector<std::vector<uint8_t>> kPieces = {
    {2, 5},
    {3, 5, 0x81},
    {7, 5, 0x82, 1, 0xC0, 0, 1},
    {7, 5, 0x83, 2, 0, 2, 0},
    {9, 4, 0, 0, 1, 3, 0, 0, 1},
    {9, 4, 1, 0, 0, 1, 1, 0, 0xFF},
    {11, 4, 2, 0, 0, 8, 6, 0x50, 2, 0, 0},
    {9, 2, 0x20, 0, 1, 1, 7, 0x80, 50},
    {0, 0},
};

struct Places {
    std::vector<SimController*> controllers;
    std::vector<SimHub*> hubs;
    std::vector<SimPort*> ports;
    std::vector<std::vector<SimHub*>> paths;  // hubs above each port, root first
};

void Collect(SimHub* hub, std::vector<SimHub*>& above, Places& places)
{
    places.hubs.push_back(hub);
    above.push_back(hub);
    for (SimPort& port : hub->ports) {
        places.ports.push_back(&port);
        places.paths.push_back(above);
        if (port.hub)
            Collect(port.hub.get(), above, places);
    }
    above.pop_back();
}

template <typename T>
T* Pick(FuzzedDataProvider& in, const std::vector<T*>& list)
{
    return list.empty() ? nullptr : list[in.ConsumeIntegralInRange<size_t>(0, list.size() - 1)];
}

std::u16string Text16(FuzzedDataProvider& in, size_t most)
{
    std::u16string text;
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, most);
    for (size_t i = 0; i < length && in.remaining_bytes(); ++i)
        text += static_cast<char16_t>(in.ConsumeIntegral<uint16_t>());
    return text;
}

// Sets wTotalLength to the set's size, or keeps the fuzzer's.
void FixTotalLength(FuzzedDataProvider& in, std::vector<uint8_t>& set)
{
    if (set.size() >= 4 && in.ConsumeBool()) {
        set[2] = static_cast<uint8_t>(set.size() & 0xFF);
        set[3] = static_cast<uint8_t>(set.size() >> 8);
    }
}

void MutateSet(FuzzedDataProvider& in, std::vector<uint8_t>& set)
{
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0:
        set = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 300));
        break;
    case 1:
        if (!set.empty())
            set[in.ConsumeIntegralInRange<size_t>(0, set.size() - 1)] = in.ConsumeIntegral<uint8_t>();
        break;
    case 2: {
        const auto& piece = kPieces[in.ConsumeIntegralInRange<size_t>(0, kPieces.size() - 1)];
        const size_t at = set.empty() ? 0 : in.ConsumeIntegralInRange<size_t>(0, set.size());
        set.insert(set.begin() + static_cast<std::ptrdiff_t>(at), piece.begin(), piece.end());
        break;
    }
    case 3:
        set.resize(in.ConsumeIntegralInRange<size_t>(0, set.size()));
        break;
    default:
        // Many interfaces naming strings: the string requests' bound.
        for (int i = in.ConsumeIntegralInRange(0, 120); i > 0; --i) {
            const std::vector<uint8_t> named = {9, 4, static_cast<uint8_t>(i), 0, 0, 3, 0, 0,
                                                in.ConsumeIntegralInRange<uint8_t>(1, 4)};
            set.insert(set.end(), named.begin(), named.end());
        }
        break;
    }
    FixTotalLength(in, set);
}

void MutatePort(FuzzedDataProvider& in, SimPort& port, const std::vector<SimHub*>& above)
{
    static const char* const kSteps[] = {"connection_ex", "connection", "driver_key_probe", "driver_key",
                                         "hub_name_probe", "hub_name", "config_probe", "config",
                                         "string:0:0000", "string:1:0409", "string:2:0409", "cycle_port"};
    switch (in.ConsumeIntegralInRange(0, 11)) {
    case 0:
        // 18 bytes, or none (all zero), as the topology format has it.
        port.deviceDescriptor = in.ConsumeBytes<uint8_t>(in.ConsumeBool() ? 18 : 0);
        port.deviceDescriptor.resize(port.deviceDescriptor.empty() ? 0 : 18);
        break;
    case 1:
        if (port.configDescriptors.empty())
            port.configDescriptors.emplace_back();
        MutateSet(in, port.configDescriptors[0]);
        break;
    case 2:
        port.configSecondReply = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 80));
        break;
    case 3: {
        port.hasLanguageList = in.ConsumeBool();
        port.languages.clear();
        for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 130); n > 0; --n)
            port.languages.push_back(in.ConsumeBool() ? 0x0409 : in.ConsumeIntegral<uint16_t>());
        break;
    }
    case 4: {
        const uint8_t index = in.ConsumeIntegralInRange<uint8_t>(0, 4);
        const uint16_t language = index == 0 ? 0 : (in.ConsumeBool() ? 0x0409 : in.ConsumeIntegral<uint16_t>());
        port.rawStrings[{index, language}] = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 260));
        break;
    }
    case 5:
        port.strings[in.ConsumeIntegralInRange<uint8_t>(1, 4)][0x0409] = Text16(in, 130);
        break;
    case 6:
        port.fail.insert(kSteps[in.ConsumeIntegralInRange<size_t>(0, std::size(kSteps) - 1)]);
        break;
    case 7:
        port.speed = in.ConsumeIntegral<uint8_t>();
        port.status = in.ConsumeIntegralInRange<uint32_t>(0, 7);
        port.configValue = in.ConsumeIntegral<uint8_t>();
        break;
    case 8:
        if (in.ConsumeBool())
            port.driverKey.reset();
        else
            port.driverKey = Text16(in, 120);
        break;
    case 9:
        // A hub whose name is that of a hub above it, or any name.
        port.isHub = true;
        if (!port.hub)
            port.hub = std::make_unique<SimHub>();
        if (!above.empty() && in.ConsumeBool())
            port.hub->name = above[in.ConsumeIntegralInRange<size_t>(0, above.size() - 1)]->name;
        else
            port.hub->name = Text16(in, 8);
        port.hub->portCount = in.ConsumeIntegralInRange<uint32_t>(0, 4);
        break;
    case 10:
        port.isHub = in.ConsumeBool();
        break;
    default:
        port.pipes.push_back(in.ConsumeBytes<uint8_t>(7));
        break;
    }
}

void ListItems(const std::vector<std::unique_ptr<MemoryTree::Item>>& items, std::vector<const MemoryTree::Item*>& out)
{
    for (const auto& item : items) {
        out.push_back(item.get());
        ListItems(item->children, out);
    }
}

const MemoryTree::Item* PickItem(FuzzedDataProvider& in, MemoryTree& tree)
{
    std::vector<const MemoryTree::Item*> items;
    ListItems(tree.TopLevel(), items);
    return items.empty() ? nullptr : items[in.ConsumeIntegralInRange<size_t>(0, items.size() - 1)];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(PORTOLAN_SOURCE_DIR) / "samples"))
        if (entry.path().extension() == ".json")
            Samples.push_back(testing_command::ReadFile(entry.path()));
    std::sort(Samples.begin(), Samples.end());
    if (Samples.empty())
        FuzzFailure("no sample PCs found");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    SimTopology topology;
    std::string error;
    if (!ParseTopology(Samples[in.ConsumeIntegralInRange<size_t>(0, Samples.size() - 1)], "sample.json", &topology,
                       &error))
        FuzzFailure("a sample PC does not load");

    Places places;
    for (SimController& controller : topology.controllers) {
        places.controllers.push_back(&controller);
        std::vector<SimHub*> above;
        if (controller.rootHub)
            Collect(controller.rootHub.get(), above, places);
    }
    std::vector<SimController*> withoutRootHub;
    for (int edits = in.ConsumeIntegralInRange(1, 24); edits > 0 && in.remaining_bytes(); --edits) {
        const int what = in.ConsumeIntegralInRange(0, 9);
        if (what < 8 && !places.ports.empty()) {
            const size_t at = in.ConsumeIntegralInRange<size_t>(0, places.ports.size() - 1);
            MutatePort(in, *places.ports[at], places.paths[at]);
        } else if (what == 8 && !places.hubs.empty()) {
            SimHub* hub = Pick(in, places.hubs);
            hub->portCount = in.ConsumeIntegralInRange<uint32_t>(0, 300);
            hub->open = in.ConsumeBool();
            hub->nodeQuery = in.ConsumeBool();
        } else if (SimController* controller = Pick(in, places.controllers)) {
            controller->open = in.ConsumeBool();
            if (in.ConsumeBool())
                withoutRootHub.push_back(controller);
        }
    }
    // Only now: the places above point into the hubs dropped here.
    for (SimController* controller : withoutRootHub)
        controller->rootHub.reset();

    SimSession session(std::move(topology));
    ShowUnusedPorts = in.ConsumeBool();
    ShowUnusedControllers = in.ConsumeBool();
    AdviceWindowEnabled = 1;
    RefreshTree();
    if (session.Usb().OpenHandles() || session.Registry().OpenKeys())
        FuzzFailure("a handle or key left open by the refresh");
    testing_topology::SelectEveryItem(session.Tree());
    // Ctrl+R on one item: the port cycle through its parent hub.
    RecordingShell shell;
    Shell = &shell;
    if (const MemoryTree::Item* item = PickItem(in, session.Tree())) {
        session.Tree().Select(const_cast<MemoryTree::Item*>(item));
        CycleSelectedPort();
    }
    Shell = nullptr;
    for (const auto& call : session.Advice().calls)
        if (call.topic < 100 || call.topic > 104)
            FuzzFailure("advice topic out of range");
    ClearTree();
    AdviceWindowEnabled = 0;
    ShowUnusedPorts = 0;
    ShowUnusedControllers = 0;
    if (session.Memory().LiveBlocks() != 0)
        FuzzFailure("blocks left after ClearTree");
    return 0;
}
