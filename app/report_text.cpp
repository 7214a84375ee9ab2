#include "app/report_text.h"

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "assess/property_panel.h"
#include "res/version.h"
#include "usb/usb_platform.h"

namespace {

using Item = MemoryTree::Item;

// The advice topic's verdict in the words of the help file's pages.
std::string Verdict(int topic)
{
    switch (topic) {
    case 101:
        return "Highspeed: Nein, Isochron: Nein";
    case 102:
        return "Highspeed: Ja, Isochron: Nein";
    case 103:
        return "Highspeed: Nein, Isochron: Ja";
    case 104:
        return "Highspeed: Ja, Isochron: Ja";
    default:
        return "kein Endger\xC3\xA4t bewertet";
    }
}

std::string PanelAsText(const TreeNodeInfo* record, const std::string& indent)
{
    MemoryPanel p;
    const int topic = ReadPanelOf(record, &p);
    auto text = [&](int control) { return AnsiToUtf8(p.Text(control)); };
    std::string types;
    for (auto [box, name] : {std::pair{ControlBox, "CTRL"}, {BulkBox, "BULK"}, {InterruptBox, "INTR"},
                             {IsochronousBox, "ISOC"}})
        if (p.Checked(box))
            types += std::string(types.empty() ? "" : " ") + name;
    std::string out;
    out += indent + "Hersteller: " + text(VendorIdField) + "  " + text(VendorNameField) + "\n";
    out += indent + "Produkt: " + text(ProductIdField) + "  " + text(ProductNameField) + "\n";
    out += indent + "PnP-Instanz: " + text(PnpInstanceField) + "\n";
    out += indent + "Konfigurationen: " + text(ConfigurationsField) + "   Seriennr.: " + text(SerialField) + "\n";
    out += indent + "Datenrate: " + text(SpeedField) + " (" + std::to_string(p.Bar()) + "/4)\n";
    out += indent + "Transfertypen: " + (types.empty() ? "-" : types) + "\n";
    out += indent + "=> Thema " + std::to_string(topic) + ": " + Verdict(topic) + "\n";
    return out;
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi)
{
    const int units = ActiveCodePage->ToWide(ansi.c_str(), nullptr, 0);
    std::vector<WideChar> wide(units > 0 ? static_cast<size_t>(units) : 1, 0);
    if (units <= 0 || ActiveCodePage->ToWide(ansi.c_str(), wide.data(), units) <= 0)
        return {};
    return Utf8FromUtf16(wide.data(), wide.size() - 1);
}

const TreeNodeInfo* DeviceRecordOf(const MemoryTree::Item& item)
{
    const auto* record = static_cast<const TreeNodeInfo*>(item.param);
    return record && (record->Kind == ExternalHub || record->Kind == PortDevice) ? record : nullptr;
}

std::string Utf8FromUtf16(const WideChar* text, size_t units)
{
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00u);
        else if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;
        const int extra = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
        static constexpr uint32_t kLead[] = {0, 0xC0, 0xE0, 0xF0};
        out += static_cast<char>(kLead[extra] | code >> (6 * extra));
        for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6)
            out += static_cast<char>(0x80 | (code >> shift & 0x3F));
    }
    return out;
}

int ReadPanelOf(const TreeNodeInfo* record, MemoryPanel* panel)
{
    PropertyPanel* before = ActivePanel;
    const int enabled = AdviceWindowEnabled;
    ActivePanel = panel;
    AdviceWindowEnabled = 0;
    const int topic = ShowNodeProperties(nullptr, record);
    ActivePanel = before;
    AdviceWindowEnabled = enabled;
    return topic;
}

std::string ReportBody(const MemoryTree& tree, const std::string& status)
{
    std::string text;
    tree.Visit([&](const Item& item, int depth) {
        text.append(static_cast<size_t>(depth) * 2, ' ');
        text += AnsiToUtf8(item.label);
        text += " [" + std::to_string(item.image) + "]\n";
        const TreeNodeInfo* record = DeviceRecordOf(item);
        if (record && record->ConnectionInfo && record->ConnectionInfo->ConnectionStatus != 0)
            text += PanelAsText(record, std::string(static_cast<size_t>(depth) * 2 + 4, ' '));
    });
    text += "Status: " + AnsiToUtf8(status) + "\n";
    return text;
}

std::string ReportHeader(const ReportFacts& facts)
{
    auto bits = [](bool wide) { return std::string(wide ? "64 Bit" : "32 Bit"); };
    return "Portolan-Bericht\n"
           "Erstellt: " + facts.created + "\n"
           "Portolan-Version: " PORTOLAN_VERSION_TEXT "\n"
           "Windows: " + facts.windows + ", " + bits(facts.windows64) + "\n"
           "Berichtsprogramm: " + bits(facts.programBits == 64) + "\n\n";
}

std::string ReportFileBytes(const std::string& text)
{
    std::string bytes = "\xEF\xBB\xBF";
    bytes.reserve(text.size() + text.size() / 16 + 3);
    for (char c : text) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    return bytes;
}

std::string WindowsName(unsigned major, unsigned minor, unsigned build)
{
    const char* name = nullptr;
    if (major == 10)
        name = build >= 22000 ? "11" : "10";
    else if (major == 6)
        name = minor == 1 ? "7" : minor == 2 ? "8" : minor == 3 ? "8.1" : nullptr;
    char text[64];
    if (name)
        snprintf(text, sizeof(text), "Windows %s (%u.%u.%u)", name, major, minor, build);
    else
        snprintf(text, sizeof(text), "Windows %u.%u.%u", major, minor, build);
    return text;
}
