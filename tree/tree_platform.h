// What the device tree needs of a tree control and of the status line.
// The Win32 build wraps the tree view and status bar; the native build keeps
// the items in memory.
#pragma once

using TreeItem = void*;

class TreeContainer {
public:
    virtual ~TreeContainer() = default;

    // Appends a last child of parent (null: top level); the label is copied.
    // Returns null on failure.
    virtual TreeItem AppendItem(TreeItem parent, const char* label, void* param) = 0;
    // Normal and selected image of an item.
    virtual void SetItemImage(TreeItem item, int image) = 0;
    virtual TreeItem FirstChild(TreeItem item) = 0;
    virtual TreeItem NextSibling(TreeItem item) = 0;
    virtual TreeItem Parent(TreeItem item) = 0;
    virtual void* ItemParam(TreeItem item) = 0;
    virtual void Expand(TreeItem item) = 0;
    virtual TreeItem Selection() = 0;
    virtual void ClearSelection() = 0;
    // Deletes one item with its descendants.
    virtual void DeleteItem(TreeItem item) = 0;
    virtual void DeleteAllItems() = 0;
};

class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual void SetText(const char* text) = 0;
};

// The main window's tree and status bar.
extern TreeContainer* ActiveTreeView;
extern StatusLine* ActiveStatusBar;
