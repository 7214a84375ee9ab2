// Fuzzes the topology-file loader and, through it, the scan with well-formed
// descriptors: any text either loads or yields a one-line error naming the
// file, and a loaded PC scans cleanly, with every item selected into the panel.
#include <cstdint>
#include <string>

#include "assess/property_panel.h"
#include "sim/sim_session.h"
#include "sim/topology_loader.h"
#include "tests/fuzz/fuzzed_platform.h"
#include "tests/support/tree_snapshot.h"
#include "tree/topology_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    SimTopology topology;
    std::string error;
    if (!ParseTopology(text, "fuzz.json", &topology, &error)) {
        if (error.rfind("fuzz.json: ", 0) != 0 || error.find('\n') != std::string::npos)
            FuzzFailure("error that does not name the file or spans lines");
        return 0;
    }
    SimSession session(std::move(topology));
    AdviceWindowEnabled = 1;
    RefreshTree();
    SelectEveryItem(session.Tree());
    AdviceWindowEnabled = 0;
    for (int topic : session.Help().Topics())
        if (topic < 100 || topic > 104)
            FuzzFailure("advice topic out of range");
    ClearTree();
    if (session.Memory().LiveBlocks() || session.Usb().OpenHandles() || session.Registry().OpenKeys())
        FuzzFailure("the loaded PC's scan left something behind");
    return 0;
}
