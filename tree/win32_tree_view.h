// The device tree's container over a SysTreeView32 control.
#pragma once

#include "tree/tree_platform.h"

#include <windows.h>

class Win32TreeView : public TreeContainer {
public:
    void Attach(HWND tree) { tree_ = tree; }

    TreeItem AppendItem(TreeItem parent, const char* label, void* param) override;
    void SetItemImage(TreeItem item, int image) override;
    TreeItem FirstChild(TreeItem item) override;
    TreeItem NextSibling(TreeItem item) override;
    TreeItem Parent(TreeItem item) override;
    void* ItemParam(TreeItem item) override;
    void Expand(TreeItem item) override;
    TreeItem Selection() override;
    void ClearSelection() override;
    void DeleteItem(TreeItem item) override;
    void DeleteAllItems() override;

    HWND Window() const { return tree_; }

private:
    TreeItem NextItem(TreeItem item, UINT relation);

    HWND tree_ = nullptr;
};
