#include "tree/memory_tree.h"

#include <algorithm>

namespace {

MemoryTree::Item* AsItem(TreeItem item)
{
    return static_cast<MemoryTree::Item*>(item);
}

size_t CountItems(const std::vector<std::unique_ptr<MemoryTree::Item>>& items)
{
    size_t count = items.size();
    for (const auto& item : items)
        count += CountItems(item->children);
    return count;
}

void VisitItems(const std::vector<std::unique_ptr<MemoryTree::Item>>& items, int depth,
                const std::function<void(const MemoryTree::Item&, int)>& visit)
{
    for (const auto& item : items) {
        visit(*item, depth);
        VisitItems(item->children, depth + 1, visit);
    }
}

}  // namespace

void MemoryTree::Visit(const std::function<void(const Item& item, int depth)>& visit) const
{
    VisitItems(top_, 0, visit);
}

std::vector<std::unique_ptr<MemoryTree::Item>>& MemoryTree::SiblingsOf(Item* item)
{
    return item->parent ? item->parent->children : top_;
}

TreeItem MemoryTree::AppendItem(TreeItem parent, const char* label, void* param)
{
    if (failAppendAt_ > 0 && --failAppendAt_ == 0)
        return nullptr;
    auto item = std::make_unique<Item>();
    item->label = label;
    item->param = param;
    item->parent = AsItem(parent);
    Item* raw = item.get();
    (parent ? AsItem(parent)->children : top_).push_back(std::move(item));
    return raw;
}

void MemoryTree::SetItemImage(TreeItem item, int image)
{
    AsItem(item)->image = image;
}

TreeItem MemoryTree::FirstChild(TreeItem item)
{
    auto& children = AsItem(item)->children;
    return children.empty() ? nullptr : children.front().get();
}

TreeItem MemoryTree::NextSibling(TreeItem item)
{
    auto& siblings = SiblingsOf(AsItem(item));
    auto at = std::find_if(siblings.begin(), siblings.end(), [&](const auto& p) { return p.get() == item; });
    if (at == siblings.end() || ++at == siblings.end())
        return nullptr;
    return at->get();
}

TreeItem MemoryTree::Parent(TreeItem item)
{
    return AsItem(item)->parent;
}

void* MemoryTree::ItemParam(TreeItem item)
{
    return AsItem(item)->param;
}

void MemoryTree::Expand(TreeItem item)
{
    // Like the tree view: an item without children does not change.
    if (!AsItem(item)->children.empty())
        AsItem(item)->expanded = true;
}

void MemoryTree::ClearSelection()
{
    selection_ = nullptr;
    if (onSelectionChanged)
        onSelectionChanged(nullptr);
}

void MemoryTree::Select(TreeItem item)
{
    selection_ = item;
    if (onSelectionChanged)
        onSelectionChanged(item);
}

// As the tree view deletes: the children first, then the item. When the
// selected item goes, the selection moves to its next sibling, else its
// previous sibling, else its parent, and the handler hears of it.
void MemoryTree::DeleteSubtree(Item* target)
{
    while (!target->children.empty())
        DeleteSubtree(target->children.front().get());
    auto& siblings = SiblingsOf(target);
    auto at = std::find_if(siblings.begin(), siblings.end(), [&](const auto& p) { return p.get() == target; });
    if (selection_ == target) {
        Item* next = at + 1 != siblings.end() ? (at + 1)->get() : at != siblings.begin() ? (at - 1)->get()
                                                                                          : target->parent;
        Select(next);
    }
    siblings.erase(at);
}

void MemoryTree::DeleteItem(TreeItem item)
{
    DeleteSubtree(AsItem(item));
}

void MemoryTree::DeleteAllItems()
{
    while (!top_.empty())
        DeleteSubtree(top_.front().get());
}

size_t MemoryTree::ItemCount() const
{
    return CountItems(top_);
}
