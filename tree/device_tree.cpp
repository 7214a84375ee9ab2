#include "tree/device_tree.h"

#include "usb/zeroed_alloc.h"

TreeContainer* ActiveTreeView = nullptr;
StatusLine* ActiveStatusBar = nullptr;
TreeItem RootItem = nullptr;

TreeItem InsertTreeItem(TreeItem parent, TreeNodeInfo* record, const char* label, int image)
{
    TreeItem item = ActiveTreeView->AppendItem(parent, label, record);
    if (item)
        ActiveTreeView->SetItemImage(item, image);
    return item;
}

void WalkTree(TreeItem start, TreeVisitor visitor)
{
    TreeItem current = start;
    while (current) {
        WalkTree(ActiveTreeView->FirstChild(current), visitor);
        visitor(ActiveTreeView, current);
        current = ActiveTreeView->NextSibling(current);
    }
}

void ExpandTreeItem(TreeContainer* tree, TreeItem item)
{
    tree->Expand(item);
}

void ReleaseTreeNodeInfo(TreeNodeInfo* record)
{
    switch (record->Kind) {
    case RootHub:
        ReleaseBuffer(record->NodeInfo);
        ReleaseBuffer(record->HubName);
        break;
    case ExternalHub:
        ReleaseBuffer(record->NodeInfo);
        ReleaseBuffer(record->HubName);
        ReleaseBuffer(record->ConnectionInfo);
        ReleaseBuffer(record->ConfigRequest);
        ReleaseStringList(record->StringList);
        break;
    case PortDevice:
        ReleaseBuffer(record->ConnectionInfo);
        ReleaseBuffer(record->ConfigRequest);
        ReleaseBuffer(record->PnpInstanceId);
        ReleaseStringList(record->StringList);
        break;
    default:
        break;
    }
    ReleaseBuffer(record);
}

void FreeTreeNode(TreeContainer* tree, TreeItem item)
{
    auto* record = static_cast<TreeNodeInfo*>(tree->ItemParam(item));
    if (!record)
        return;
    ReleaseTreeNodeInfo(record);
}

void ClearTree()
{
    ActiveTreeView->ClearSelection();
    if (!RootItem)
        return;
    WalkTree(RootItem, FreeTreeNode);
    ActiveTreeView->DeleteAllItems();
    RootItem = nullptr;
}

void RemoveSubtree(TreeItem item)
{
    WalkTree(item, FreeTreeNode);
    ActiveTreeView->DeleteItem(item);
}
