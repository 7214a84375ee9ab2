#include "sim/sim_session.h"

#include "assess/property_panel.h"
#include "tree/device_tree.h"
#include "tree/registry_platform.h"
#include "usb/usb_platform.h"

SimSession::SimSession(SimTopology topology)
    : topology_(std::move(topology)), usb_(topology_), registry_(topology_)
{
    ActiveUsbPlatform = &usb_;
    ActiveCodePage = &codePage_;
    ActiveRegistry = &registry_;
    TreeView = &tree_;
    StatusBar = &status_;
    Panel = &panel_;
    AdviceWindow = &advice_;
    RootItem = nullptr;
    tree_.onSelectionChanged = [](TreeItem item) { OnSelectionChanged(nullptr, kTreeSelectionChanged, item); };
}

SimSession::~SimSession()
{
    // The tree's items go with the session; a root left behind would point
    // into it.
    RootItem = nullptr;
    ActiveUsbPlatform = nullptr;
    ActiveCodePage = nullptr;
    ActiveRegistry = nullptr;
    TreeView = nullptr;
    StatusBar = nullptr;
    Panel = nullptr;
    AdviceWindow = nullptr;
}
