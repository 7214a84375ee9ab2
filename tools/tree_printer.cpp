#include "tools/tree_printer.h"

#include <cstdio>
#include <functional>

#include <nlohmann/json.hpp>

#include "sim/sim_code_page.h"
#include "sim/sim_session.h"
#include "tree/tree_node_info.h"

namespace {

using Json = nlohmann::ordered_json;
using Item = MemoryTree::Item;

// Pre-order, as the tree shows its items.
void Visit(const std::vector<std::unique_ptr<Item>>& items, int depth,
           const std::function<void(const Item&, int)>& visit)
{
    for (const auto& item : items) {
        visit(*item, depth);
        Visit(item->children, depth + 1, visit);
    }
}

Json KindOf(const Item& item)
{
    if (!item.param)
        return nullptr;
    const uint32_t kind = static_cast<const TreeNodeInfo*>(item.param)->Kind;
    switch (kind) {
    case Controller:
        return "Controller";
    case RootHub:
        return "RootHub";
    case ExternalHub:
        return "ExternalHub";
    case PortDevice:
        return "PortDevice";
    default:
        return kind;
    }
}

// One entry of "items"; the place for further per-item keys.
Json ItemAsJson(const Item& item, int depth)
{
    Json entry;
    entry["depth"] = depth;
    entry["label"] = Cp1252ToUtf8(item.label);
    entry["image"] = item.image;
    entry["kind"] = KindOf(item);
    return entry;
}

std::string IoctlName(uint32_t code)
{
    char name[16];
    snprintf(name, sizeof(name), "0x%06x", code);
    return name;
}

Json RequestsAsJson(const SimSession& session)
{
    const SimSession& counted = session;
    Json ioctl = Json::object();
    for (const auto& [code, count] : counted.Usb().Count().ioctl)
        ioctl[IoctlName(code)] = count;
    Json requests;
    requests["ioctl"] = std::move(ioctl);
    requests["open"] = counted.Usb().Count().opens;
    requests["registry"] = counted.Registry().Calls();
    return requests;
}

}  // namespace

std::string TreeAsText(const MemoryTree& tree, const std::string& status)
{
    std::string text;
    Visit(tree.TopLevel(), 0, [&](const Item& item, int depth) {
        text.append(static_cast<size_t>(depth) * 2, ' ');
        text += Cp1252ToUtf8(item.label);
        text += " [" + std::to_string(item.image) + "]\n";
    });
    text += "Status: " + Cp1252ToUtf8(status) + "\n";
    return text;
}

std::string TreeAsJson(const MemoryTree& tree, const std::string& status, const SimSession* statsOrNull)
{
    Json document;
    document["status"] = Cp1252ToUtf8(status);
    Json items = Json::array();
    Visit(tree.TopLevel(), 0, [&](const Item& item, int depth) { items.push_back(ItemAsJson(item, depth)); });
    document["items"] = std::move(items);
    if (statsOrNull)
        document["requests"] = RequestsAsJson(*statsOrNull);
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string RequestsAsText(const SimSession& session)
{
    const SimSession& counted = session;
    std::string text = "Requests:\n";
    for (const auto& [code, count] : counted.Usb().Count().ioctl)
        text += "  ioctl " + IoctlName(code) + ": " + std::to_string(count) + "\n";
    text += "  open: " + std::to_string(counted.Usb().Count().opens) + "\n";
    text += "  registry: " + std::to_string(counted.Registry().Calls()) + "\n";
    return text;
}
