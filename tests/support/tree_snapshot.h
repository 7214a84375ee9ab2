// The tree as a list of lines "depth|label|image", for comparing whole trees.
#pragma once

#include <string>
#include <vector>

#include "tree/memory_tree.h"

inline void AppendLines(const MemoryTree::Item& item, int depth, std::vector<std::string>& lines)
{
    lines.push_back(std::to_string(depth) + "|" + item.label + "|" + std::to_string(item.image));
    for (const auto& child : item.children)
        AppendLines(*child, depth + 1, lines);
}

// Selects every item in tree order, as a user clicking through the tree,
// and runs then(), if given, after each selection.
inline void SelectEveryItem(MemoryTree& tree, const std::vector<std::unique_ptr<MemoryTree::Item>>& items,
                            void (*then)())
{
    for (const auto& item : items) {
        tree.Select(item.get());
        if (then)
            then();
        SelectEveryItem(tree, item->children, then);
    }
}

inline void SelectEveryItem(MemoryTree& tree, void (*then)() = nullptr)
{
    SelectEveryItem(tree, tree.TopLevel(), then);
}

inline std::vector<std::string> TreeLines(const MemoryTree& tree)
{
    std::vector<std::string> lines;
    for (const auto& item : tree.TopLevel())
        AppendLines(*item, 0, lines);
    return lines;
}

// The item whose label is given, searched depth-first; null when absent.
inline const MemoryTree::Item* FindItem(const std::vector<std::unique_ptr<MemoryTree::Item>>& items,
                                        const std::string& label)
{
    for (const auto& item : items) {
        if (item->label == label)
            return item.get();
        if (const auto* found = FindItem(item->children, label))
            return found;
    }
    return nullptr;
}

inline const MemoryTree::Item* FindItem(const MemoryTree& tree, const std::string& label)
{
    return FindItem(tree.TopLevel(), label);
}
