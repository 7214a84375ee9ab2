// The tree operations and the release of records, on hand-made trees.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/sim_session.h"
#include "tree/device_tree.h"
#include "usb/zeroed_alloc.h"

namespace {

TreeNodeInfo* NewRecord(uint32_t kind)
{
    auto* record = static_cast<TreeNodeInfo*>(AllocZeroed(sizeof(TreeNodeInfo)));
    record->Kind = kind;
    return record;
}

StringDescNode* NewString(uint8_t index)
{
    auto* node = static_cast<StringDescNode*>(AllocZeroed(sizeof(StringDescNode) + 4));
    node->Index = index;
    node->Descriptor[0] = 4;
    node->Descriptor[1] = 3;
    return node;
}

}  // namespace

TEST(ClearTree, ReleasesEveryRecordAndItemWhateverWasSelected)
{
    SimSession session{SimTopology{}};
    RootItem = InsertTreeItem(nullptr, nullptr, "My Computer", ImageComputer);
    auto* controller = static_cast<TreeNodeInfo*>(AllocZeroed(kControllerRecordBytes));
    TreeItem controllerItem = InsertTreeItem(RootItem, controller, "HC", ImageController);
    TreeNodeInfo* hub = NewRecord(RootHub);
    hub->NodeInfo = static_cast<USB_NODE_INFORMATION*>(AllocZeroed(sizeof(USB_NODE_INFORMATION)));
    hub->HubName = static_cast<char*>(AllocZeroed(8));
    TreeItem hubItem = InsertTreeItem(controllerItem, hub, "RootHub", ImageHub);
    TreeNodeInfo* device = NewRecord(PortDevice);
    device->ConnectionInfo = static_cast<USB_NODE_CONNECTION_INFORMATION_EX*>(AllocZeroed(kConnectionInfoBytes));
    device->ConfigRequest = static_cast<ConfigRequestBuffer*>(AllocZeroed(12 + 9));
    device->PnpInstanceId = static_cast<char*>(AllocZeroed(16));
    device->StringList = NewString(0);
    device->StringList->Next = NewString(1);
    device->StringList->Next->Next = NewString(2);
    TreeItem deviceItem = InsertTreeItem(hubItem, device, "[Port1] ", ImageDevice);
    session.Tree().Select(deviceItem);

    // The tree view moves the selection off a deleted item and says so: the
    // handler must hear of nothing but "no selection" while records go.
    std::vector<TreeItem> selected;
    session.Tree().onSelectionChanged = [&](TreeItem item) { selected.push_back(item); };
    ClearTree();
    EXPECT_EQ(selected, std::vector<TreeItem>{nullptr});
    EXPECT_EQ(session.Tree().ItemCount(), 0u);
    EXPECT_EQ(RootItem, nullptr);
    EXPECT_EQ(session.Memory().LiveBlocks(), 0u);
}

TEST(FreeTreeNode, ExternalHubRecordNeverReleasesAnInstanceId)
{
    SimSession session{SimTopology{}};
    TreeNodeInfo* record = NewRecord(ExternalHub);
    record->NodeInfo = static_cast<USB_NODE_INFORMATION*>(AllocZeroed(sizeof(USB_NODE_INFORMATION)));
    record->HubName = static_cast<char*>(AllocZeroed(4));
    record->StringList = NewString(0);
    char* notOwned = static_cast<char*>(AllocZeroed(8));
    record->PnpInstanceId = notOwned;
    TreeItem item = InsertTreeItem(nullptr, record, "[Port1] : ", ImageHub);
    FreeTreeNode(ActiveTreeView, item);
    EXPECT_EQ(session.Memory().LiveBlocks(), 1u);
    ReleaseBuffer(notOwned);
}
