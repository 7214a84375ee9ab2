// Operations on the items of the device tree and the records they own.
#pragma once

#include "tree/tree_platform.h"
#include "tree/tree_node_info.h"

using TreeVisitor = void (*)(TreeContainer* tree, TreeItem item);

extern TreeItem RootItem;

TreeItem InsertTreeItem(TreeItem parent, TreeNodeInfo* record, const char* label, int image);
void WalkTree(TreeItem start, TreeVisitor visitor);
void ExpandTreeItem(TreeContainer* tree, TreeItem item);
void FreeTreeNode(TreeContainer* tree, TreeItem item);
void ClearTree();
void RemoveSubtree(TreeItem item);

// Releases a record that never reached the tree, with all it holds.
void ReleaseTreeNodeInfo(TreeNodeInfo* record);
