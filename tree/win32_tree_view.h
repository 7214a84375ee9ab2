// The device tree's container over a SysTreeView32 control, and the status
// line over a status bar control.
#pragma once

#include "tree/tree_container.h"

#include <windows.h>

class Win32TreeView : public TreeContainer {
public:
    explicit Win32TreeView(HWND tree) : tree_(tree) {}

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

    HWND tree_;
};

class Win32StatusBar : public StatusLine {
public:
    explicit Win32StatusBar(HWND statusBar) : statusBar_(statusBar) {}

    void SetText(const char* text) override;

    HWND Window() const { return statusBar_; }

private:
    HWND statusBar_;
};
