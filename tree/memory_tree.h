// A tree container and status line held in memory: the report's, and the
// tests'.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tree/tree_platform.h"

class MemoryTree : public TreeContainer {
public:
    struct Item {
        std::string label;
        int image = -1;
        void* param = nullptr;
        bool expanded = false;
        Item* parent = nullptr;
        std::vector<std::unique_ptr<Item>> children;
    };

    TreeItem AppendItem(TreeItem parent, const char* label, void* param) override;
    void SetItemImage(TreeItem item, int image) override;
    TreeItem FirstChild(TreeItem item) override;
    TreeItem NextSibling(TreeItem item) override;
    TreeItem Parent(TreeItem item) override;
    void* ItemParam(TreeItem item) override;
    void Expand(TreeItem item) override;
    TreeItem Selection() override { return selection_; }
    void ClearSelection() override;
    void DeleteItem(TreeItem item) override;
    void DeleteAllItems() override;

    // Selects an item as a click would; the handler hears of it.
    void Select(TreeItem item);
    std::function<void(TreeItem item)> onSelectionChanged;

    // Makes the append with this ordinal fail (1: the next one), once.
    void FailAppend(int ordinalFromNow) { failAppendAt_ = ordinalFromNow; }

    const std::vector<std::unique_ptr<Item>>& TopLevel() const { return top_; }
    static const Item& Of(TreeItem item) { return *static_cast<const Item*>(item); }
    size_t ItemCount() const;
    // Every item in the order shown (pre-order), with its depth.
    void Visit(const std::function<void(const Item& item, int depth)>& visit) const;

private:
    std::vector<std::unique_ptr<Item>>& SiblingsOf(Item* item);
    void DeleteSubtree(Item* target);

    std::vector<std::unique_ptr<Item>> top_;
    TreeItem selection_ = nullptr;
    int failAppendAt_ = 0;
};

class MemoryStatusLine : public StatusLine {
public:
    void SetText(const char* text) override { text_ = text; ++updates_; }
    const std::string& Text() const { return text_; }
    int Updates() const { return updates_; }

private:
    std::string text_;
    int updates_ = 0;
};
