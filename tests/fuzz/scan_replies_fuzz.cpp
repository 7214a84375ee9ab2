// Fuzzes every reply of the USB stack and the registry through a whole
// refresh, the panel and the port cycle of every item and the clearing of
// the tree; afterwards every block, handle and key must be released.
#include <cstdint>
#include <vector>

#include "app/menu_commands.h"
#include "assess/property_panel.h"
#include "sim/sim_session.h"
#include "tests/fuzz/fuzzed_platform.h"
#include "tests/support/tree_snapshot.h"
#include "tree/topology_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    FuzzedUsbPlatform usb(input);
    FuzzedRegistry registry(input);
    {
        // The simulated PC's platform, with the USB stack and the registry
        // answering from the fuzz input instead.
        SimSession session{SimTopology{}};
        ActiveUsbPlatform = &usb;
        ActiveRegistry = &registry;
        AdviceWindowEnabled = 1;
        ShowUnusedPorts = input.Bool();
        ShowUnusedControllers = input.Bool();

        RefreshTree();
        if (!usb.AllClosed() || !registry.AllClosed())
            FuzzFailure("a handle or key left open by the refresh");
        // Ctrl+R after each click.
        SelectEveryItem(session.Tree(), CycleSelectedPort);
        if (!usb.AllClosed())
            FuzzFailure("a hub handle left open by a port cycle");
        for (int topic : session.Help().Topics())
            if (topic < 100 || topic > 104)
                FuzzFailure("advice topic out of range");
        ClearTree();
        if (session.Memory().LiveBlocks() != 0)
            FuzzFailure("blocks left after ClearTree");
        if (session.Tree().ItemCount() != 0)
            FuzzFailure("items left after ClearTree");
    }
    return 0;
}
