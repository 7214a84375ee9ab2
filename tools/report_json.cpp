#include "tools/report_json.h"

#include <cstdio>
#include <functional>

#include <nlohmann/json.hpp>

#include "app/report_text.h"
#include "assess/property_panel.h"
#include "assess/memory_panel.h"
#include "sim/sim_session.h"
#include "tree/tree_node_info.h"

namespace {

using Json = nlohmann::ordered_json;
using Item = MemoryTree::Item;

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

std::string Hex4(unsigned value)
{
    char text[8];
    snprintf(text, sizeof(text), "%04x", value & 0xFFFF);
    return text;
}

std::string Utf16ToUtf8(const uint8_t* bytes, size_t units)
{
    std::u16string text;
    for (size_t i = 0; i < units; ++i)
        text += static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return Utf8FromUtf16(text.data(), units);
}

// The string list in list order; the LanguageList gives its IDs as text.
Json StringsAsJson(const TreeNodeInfo* record)
{
    Json strings = Json::array();
    for (const StringDescNode* node = record ? record->StringList : nullptr; node; node = node->Next) {
        const size_t units = (node->Descriptor[0] - 2u) / 2u;
        std::string text;
        if (node->Index == 0) {
            for (size_t i = 0; i < units; ++i)
                text += (i ? " " : "") + Hex4(node->Descriptor[2 + 2 * i] | (node->Descriptor[3 + 2 * i] << 8));
        } else {
            text = Utf16ToUtf8(node->Descriptor + 2, units);
        }
        strings.push_back({{"index", node->Index}, {"language", Hex4(node->LanguageId)}, {"text", text}});
    }
    return strings;
}

// The panel as selecting the item leaves it, and the topic it chose.
Json PanelAsJson(const Item& item)
{
    MemoryPanel p;
    const int topic = ReadPanelOf(static_cast<const TreeNodeInfo*>(item.param), &p);
    Json panel;
    for (auto [key, field] : {std::pair{"vendor_id", VendorIdField}, {"vendor_name", VendorNameField},
                              {"product_id", ProductIdField}, {"product_name", ProductNameField},
                              {"pnp_instance", PnpInstanceField}, {"configurations", ConfigurationsField},
                              {"serial", SerialField}, {"speed", SpeedField}})
        panel[key] = AnsiToUtf8(p.Text(field));
    panel["bar"] = p.Bar();
    for (auto [key, box] : {std::pair{"ctrl", ControlBox}, {"bulk", BulkBox}, {"intr", InterruptBox},
                            {"isoc", IsochronousBox}})
        panel[key] = p.Checked(box);
    panel["topic"] = topic;
    return panel;
}

// One entry of "items"; the place for further per-item keys.
Json ItemAsJson(const Item& item, int depth)
{
    const TreeNodeInfo* record = DeviceRecordOf(item);
    Json entry;
    entry["depth"] = depth;
    entry["label"] = AnsiToUtf8(item.label);
    entry["image"] = item.image;
    entry["kind"] = KindOf(item);
    entry["pnp_instance"] = record && record->PnpInstanceId ? Json(AnsiToUtf8(record->PnpInstanceId)) : Json(nullptr);
    entry["config_total_length"] =
        record && record->ConfigRequest ? Json(ConfigDescriptorOf(record->ConfigRequest)->wTotalLength) : Json(nullptr);
    entry["strings"] = StringsAsJson(record);
    entry["panel"] = PanelAsJson(item);
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
    Json ioctl = Json::object();
    for (const auto& [code, count] : session.Usb().Count().ioctl)
        ioctl[IoctlName(code)] = count;
    Json requests;
    requests["ioctl"] = std::move(ioctl);
    requests["open"] = session.Usb().Count().opens;
    requests["registry"] = session.Registry().Calls();
    return requests;
}

}  // namespace

std::string TreeAsJson(const MemoryTree& tree, const std::string& status, const SimSession* statsOrNull)
{
    Json document;
    document["status"] = AnsiToUtf8(status);
    Json items = Json::array();
    tree.Visit([&](const Item& item, int depth) { items.push_back(ItemAsJson(item, depth)); });
    document["items"] = std::move(items);
    if (statsOrNull)
        document["requests"] = RequestsAsJson(*statsOrNull);
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string RequestsAsText(const SimSession& session)
{
    std::string text = "Requests:\n";
    for (const auto& [code, count] : session.Usb().Count().ioctl)
        text += "  ioctl " + IoctlName(code) + ": " + std::to_string(count) + "\n";
    text += "  open: " + std::to_string(session.Usb().Count().opens) + "\n";
    text += "  open failures: " + std::to_string(session.Usb().Count().openFailures) + "\n";
    text += "  registry: " + std::to_string(session.Registry().Calls()) + "\n";
    return text;
}
