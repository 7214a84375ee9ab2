// Fuzzes every reply of the USB stack and the registry through a whole
// refresh, the panel and the port cycle of every item and the clearing of
// the tree; afterwards every block, handle and key must be released.
#include <cstdint>
#include <vector>

#include "app/advice_window.h"
#include "app/menu_commands.h"
#include "assess/property_panel.h"
#include "sim/memory_panel.h"
#include "sim/memory_tree.h"
#include "sim/recording_help.h"
#include "sim/recording_shell.h"
#include "sim/sim_code_page.h"
#include "sim/sim_memory.h"
#include "tests/fuzz/fuzzed_platform.h"
#include "tests/support/tree_snapshot.h"
#include "tree/topology_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    FuzzedUsbPlatform usb(input);
    FuzzedRegistry registry(input);
    Cp1252CodePage codePage;
    MemoryTree tree;
    MemoryStatusLine status;
    MemoryPanel panel;
    RecordingHelp help;
    RecordingShell shell;
    {
        SimMemory memory;
        ActiveUsbPlatform = &usb;
        ActiveRegistry = &registry;
        ActiveCodePage = &codePage;
        ActiveTreeView = &tree;
        ActiveStatusBar = &status;
        ActivePanel = &panel;
        ActiveShell = &shell;
        ActiveHelp = &help;
        ResetAdviceWindowState();
        AdviceWindowEnabled = 1;
        RootItem = nullptr;
        ShowUnusedPorts = input.Bool();
        ShowUnusedControllers = input.Bool();
        tree.onSelectionChanged = [](TreeItem item) { OnSelectionChanged(nullptr, kTreeSelectionChanged, item); };

        RefreshTree();
        if (!usb.AllClosed() || !registry.AllClosed())
            FuzzFailure("a handle or key left open by the refresh");
        // Ctrl+R after each click.
        SelectEveryItem(tree, CycleSelectedPort);
        if (!usb.AllClosed())
            FuzzFailure("a hub handle left open by a port cycle");
        for (int topic : help.Topics())
            if (topic < 100 || topic > 104)
                FuzzFailure("advice topic out of range");
        ClearTree();
        if (memory.LiveBlocks() != 0)
            FuzzFailure("blocks left after ClearTree");
        if (tree.ItemCount() != 0)
            FuzzFailure("items left after ClearTree");
    }
    return 0;
}
