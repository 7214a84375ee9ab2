#include "sim/sim_session.h"

#include "app/advice_window.h"
#include "app/shell_platform.h"
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
    ActiveTreeView = &tree_;
    ActiveStatusBar = &status_;
    ActivePanel = &panel_;
    ActiveShell = &shell_;
    ActiveHelp = &help_;
    ResetAdviceWindowState();
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
    ActiveTreeView = nullptr;
    ActiveStatusBar = nullptr;
    ActivePanel = nullptr;
    ActiveShell = nullptr;
    ActiveHelp = nullptr;
    ResetAdviceWindowState();
}

PlatformRequests SimSession::Requests() const
{
    PlatformRequests seen;
    seen.ioctl = usb_.Count().ioctl;
    seen.sets = usb_.Count().setsOpened;
    seen.opens = usb_.Count().opens;
    seen.closes = usb_.Count().closes;
    seen.registry = registry_.Calls();
    return seen;
}

void SimSession::ResetCounters()
{
    usb_.ResetCounters();
    registry_.ResetCounters();
}

std::string SimSession::Leftovers(bool clearTree)
{
    std::string left;
    auto note = [&](const char* what, uint64_t count) {
        if (count)
            left += (left.empty() ? "" : ", ") + std::string(what) + " " + std::to_string(count);
    };
    note("handles", usb_.OpenHandles());
    note("controller sets", usb_.OpenSets());
    note("registry keys", registry_.OpenKeys());
    if (clearTree) {
        ClearTree();
        note("blocks", memory_.LiveBlocks());
        note("tree items", tree_.ItemCount());
        note("root item", RootItem != nullptr);
    }
    return left;
}

uint64_t PlatformRequests::Ioctl(uint32_t code) const
{
    auto found = ioctl.find(code);
    return found == ioctl.end() ? 0 : found->second;
}

uint64_t PlatformRequests::Usb() const
{
    uint64_t total = 0;
    for (const auto& [code, count] : ioctl)
        total += count;
    return total;
}
