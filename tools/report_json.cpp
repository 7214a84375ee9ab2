#include "tools/report_json.h"

#include <cstdio>
#include <functional>

#include <nlohmann/json.hpp>

#include "app/report_text.h"
#include "assess/property_panel.h"
#include "assess/memory_panel.h"
#include "sim/sim_code_page.h"
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

const TreeNodeInfo* DeviceRecord(const Item& item)
{
    const auto* record = static_cast<const TreeNodeInfo*>(item.param);
    if (!record || (record->Kind != ExternalHub && record->Kind != PortDevice))
        return nullptr;
    return record;
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

// The panel as it stands after selecting the item, and the topic it chose.
struct PanelState {
    MemoryPanel panel;
    int topic = 100;
};

PanelState PanelAfterSelecting(const Item& item)
{
    PanelState state;
    state.topic = ReadPanelOf(static_cast<const TreeNodeInfo*>(item.param), &state.panel);
    return state;
}

Json PanelAsJson(const PanelState& state)
{
    const MemoryPanel& p = state.panel;
    Json panel;
    panel["vendor_id"] = Cp1252ToUtf8(p.Text(VendorIdField));
    panel["vendor_name"] = Cp1252ToUtf8(p.Text(VendorNameField));
    panel["product_id"] = Cp1252ToUtf8(p.Text(ProductIdField));
    panel["product_name"] = Cp1252ToUtf8(p.Text(ProductNameField));
    panel["pnp_instance"] = Cp1252ToUtf8(p.Text(PnpInstanceField));
    panel["configurations"] = Cp1252ToUtf8(p.Text(ConfigurationsField));
    panel["serial"] = Cp1252ToUtf8(p.Text(SerialField));
    panel["speed"] = Cp1252ToUtf8(p.Text(SpeedField));
    panel["bar"] = p.Bar();
    panel["ctrl"] = p.Checked(ControlBox);
    panel["bulk"] = p.Checked(BulkBox);
    panel["intr"] = p.Checked(InterruptBox);
    panel["isoc"] = p.Checked(IsochronousBox);
    panel["topic"] = state.topic;
    return panel;
}

// One entry of "items"; the place for further per-item keys.
Json ItemAsJson(const Item& item, int depth)
{
    const TreeNodeInfo* record = DeviceRecord(item);
    Json entry;
    entry["depth"] = depth;
    entry["label"] = Cp1252ToUtf8(item.label);
    entry["image"] = item.image;
    entry["kind"] = KindOf(item);
    entry["pnp_instance"] = record && record->PnpInstanceId ? Json(Cp1252ToUtf8(record->PnpInstanceId)) : Json(nullptr);
    entry["config_total_length"] =
        record && record->ConfigRequest ? Json(ConfigDescriptorOf(record->ConfigRequest)->wTotalLength) : Json(nullptr);
    entry["strings"] = StringsAsJson(record);
    entry["panel"] = PanelAsJson(PanelAfterSelecting(item));
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

std::string TreeAsJson(const MemoryTree& tree, const std::string& status, const SimSession* statsOrNull)
{
    Json document;
    document["status"] = Cp1252ToUtf8(status);
    Json items = Json::array();
    tree.Visit([&](const Item& item, int depth) { items.push_back(ItemAsJson(item, depth)); });
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
    text += "  open failures: " + std::to_string(counted.Usb().Count().openFailures) + "\n";
    text += "  registry: " + std::to_string(counted.Registry().Calls()) + "\n";
    return text;
}
