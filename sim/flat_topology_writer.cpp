#include "sim/flat_topology_writer.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "sim/kernel/flat_topology.h"
#include "sim/sim_code_page.h"
#include "tree/ascii_case.h"

namespace {

constexpr size_t kEndpointSize = 7;

std::string FoldedName(const std::u16string& name)
{
    return FoldedAsciiCase(Cp1252FromUtf16(name));
}

class Writer {
public:
    explicit Writer(const SimTopology& topology) : topology_(topology) {}

    FlatTopology Write()
    {
        bool enumerationEnded = !topology_.controllerSet;
        for (uint32_t i = 0; i < topology_.controllers.size(); ++i) {
            const SimController& controller = topology_.controllers[i];
            enumerationEnded = enumerationEnded || controller.fail.count("enum");
            FlatController record{};
            record.flags = (controller.open ? FLAT_CONTROLLER_OPEN : 0) |
                           (controller.description ? FLAT_CONTROLLER_HAS_DESCRIPTION : 0) |
                           (controller.fail.count("root_hub_name_probe") ? FLAT_FAIL_ROOT_HUB_NAME_PROBE : 0) |
                           (controller.fail.count("root_hub_name") ? FLAT_FAIL_ROOT_HUB_NAME : 0) |
                           (enumerationEnded || controller.fail.count("interface") || controller.fail.count("path")
                                ? FLAT_CONTROLLER_NO_INTERFACE
                                : 0);
            if (controller.description)
                record.description = Data(controller.description->data(), controller.description->size());
            controllers_.push_back(record);
            // Hub indices in depth-first order, each hub's ports together.
            controllers_[i].rootHub = controller.rootHub ? AddHub(*controller.rootHub, i, FLAT_NONE) : FLAT_NONE;
        }
        ResolveOpens();

        // Header, then the data the records point into, then the records.
        FlatHeader header{};
        header.magic = FLAT_MAGIC;
        header.version = FLAT_VERSION;
        header.flags = topology_.callerElevated ? 0 : FLAT_CALLER_NOT_ELEVATED;
        header.controllerCount = static_cast<uint32_t>(controllers_.size());
        header.hubCount = static_cast<uint32_t>(hubs_.size());
        header.portCount = static_cast<uint32_t>(ports_.size());
        header.stringCount = static_cast<uint32_t>(strings_.size());
        header.controllers = static_cast<uint32_t>(sizeof(FlatHeader) + data_.size());
        header.hubs = header.controllers + Bytes(controllers_);
        header.ports = header.hubs + Bytes(hubs_);
        header.strings = header.ports + Bytes(ports_);
        header.size = header.strings + Bytes(strings_);

        FlatTopology flat;
        flat.words.resize(header.size / 4);
        auto* out = reinterpret_cast<uint8_t*>(flat.words.data());
        memcpy(out, &header, sizeof(header));
        Put(out + sizeof(header), data_);
        Put(out + header.controllers, controllers_);
        Put(out + header.hubs, hubs_);
        Put(out + header.ports, ports_);
        Put(out + header.strings, strings_);
        flat.hubs = simHubs_;
        flat.hubByName = std::move(hubByName_);
        return flat;
    }

private:
    template <typename T>
    static uint32_t Bytes(const std::vector<T>& records)
    {
        return static_cast<uint32_t>(records.size() * sizeof(T));
    }

    template <typename T>
    static void Put(uint8_t* at, const std::vector<T>& records)
    {
        if (!records.empty())
            memcpy(at, records.data(), records.size() * sizeof(T));
    }

    // Bytes into the data area after the header, 4-byte aligned.
    FlatSpan Data(const void* bytes, size_t size)
    {
        FlatSpan span{static_cast<uint32_t>(sizeof(FlatHeader) + data_.size()), static_cast<uint32_t>(size)};
        const auto* from = static_cast<const uint8_t*>(bytes);
        data_.insert(data_.end(), from, from + size);
        while (data_.size() % 4)
            data_.push_back(0);
        return span;
    }

    FlatSpan Text(const std::u16string& text)
    {
        std::vector<uint8_t> bytes;
        for (char16_t unit : text) {
            bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
            bytes.push_back(static_cast<uint8_t>(unit >> 8));
        }
        return Data(bytes.data(), bytes.size());
    }

    uint32_t AddHub(const SimHub& hub, uint32_t controller, uint32_t parentPort)
    {
        const uint32_t index = static_cast<uint32_t>(hubs_.size());
        FlatHub record{};
        record.flags = (hub.open ? FLAT_HUB_OPEN : 0) | (hub.nodeQuery ? FLAT_HUB_NODE_QUERY : 0);
        record.portCount = hub.portCount;
        record.firstPort = static_cast<uint32_t>(ports_.size());
        record.listedPorts = static_cast<uint32_t>(hub.ports.size());
        record.controller = controller;
        record.parentPort = parentPort;
        record.name = Text(hub.name);
        hubs_.push_back(record);
        simHubs_.push_back(&hub);
        ports_.resize(ports_.size() + hub.ports.size());
        for (uint32_t i = 0; i < hub.ports.size(); ++i)
            AddPort(hub.ports[i], index, record.firstPort + i);
        return index;
    }

    void AddPort(const SimPort& port, uint32_t hub, uint32_t at)
    {
        FlatPort record{};
        record.port = port.port;
        record.status = port.status;
        record.speed = port.speed;
        record.configValue = port.configValue;
        record.address = port.address;
        record.ownerHub = hub;
        record.hub = FLAT_NONE;
        record.flags = (port.isHub ? FLAT_PORT_IS_HUB : 0) | (port.hasLanguageList ? FLAT_PORT_HAS_LANGUAGE_LIST : 0) |
                       (port.driverKey ? FLAT_PORT_HAS_DRIVER_KEY : 0) |
                       (port.configSecondReply ? FLAT_PORT_HAS_SECOND_REPLY : 0);
        static const std::pair<const char*, uint32_t> kSteps[] = {
            {"connection_ex", FLAT_FAIL_CONNECTION_EX},   {"connection", FLAT_FAIL_CONNECTION},
            {"driver_key_probe", FLAT_FAIL_DRIVER_KEY_PROBE}, {"driver_key", FLAT_FAIL_DRIVER_KEY},
            {"hub_name_probe", FLAT_FAIL_HUB_NAME_PROBE},  {"hub_name", FLAT_FAIL_HUB_NAME},
            {"config_probe", FLAT_FAIL_CONFIG_PROBE},      {"config", FLAT_FAIL_CONFIG},
            {"cycle_port", FLAT_FAIL_CYCLE_PORT}};
        for (const auto& [name, bit] : kSteps)
            if (port.fail.count(name))
                record.fail |= bit;
        record.deviceDescriptor = Data(port.deviceDescriptor.data(), port.deviceDescriptor.size());
        if (port.driverKey)
            record.driverKey = Text(*port.driverKey);
        std::vector<FlatSpan> sets;
        for (const auto& set : port.configDescriptors)
            sets.push_back(Data(set.data(), set.size()));
        record.configs = Data(sets.data(), sets.size() * sizeof(FlatSpan));
        if (port.configSecondReply)
            record.secondReply = Data(port.configSecondReply->data(), port.configSecondReply->size());
        std::vector<uint8_t> languages;
        for (uint16_t id : port.languages) {
            languages.push_back(static_cast<uint8_t>(id & 0xFF));
            languages.push_back(static_cast<uint8_t>(id >> 8));
        }
        record.languages = Data(languages.data(), languages.size());
        std::vector<uint8_t> pipes;
        for (const auto& pipe : port.pipes)
            for (size_t i = 0; i < kEndpointSize; ++i)
                pipes.push_back(i < pipe.size() ? pipe[i] : 0);
        record.pipes = Data(pipes.data(), pipes.size());

        record.firstString = static_cast<uint32_t>(strings_.size());
        for (const std::string& step : port.fail) {
            unsigned index = 0;
            unsigned language = 0;
            if (sscanf(step.c_str(), "string:%u:%x", &index, &language) == 2 && index <= 255 && language <= 0xFFFF)
                strings_.push_back({FLAT_STRING_FAILS, static_cast<uint8_t>(index), static_cast<uint16_t>(language), {}});
        }
        for (const auto& [key, bytes] : port.rawStrings)
            strings_.push_back({FLAT_STRING_RAW, key.first, key.second, Data(bytes.data(), bytes.size())});
        for (const auto& [index, byLanguage] : port.strings)
            for (const auto& [language, text] : byLanguage)
                strings_.push_back({FLAT_STRING_TEXT, index, language, Text(text)});
        record.stringCount = static_cast<uint32_t>(strings_.size()) - record.firstString;

        ports_[at] = record;
        if (port.hub) {
            const uint32_t child = AddHub(*port.hub, hubs_[hub].controller, at);
            ports_[at].hub = child;
        }
    }

    // The hub "\\.\" + name opens: the first one with that name (ASCII
    // letters folded) in the order the simulated stack searches, depth-first
    // from the last controller.
    void ResolveOpens()
    {
        std::map<const SimHub*, uint32_t> indexOf;
        for (uint32_t i = 0; i < simHubs_.size(); ++i)
            indexOf[simHubs_[i]] = i;
        std::vector<const SimHub*> pending;
        for (const SimController& controller : topology_.controllers)
            if (controller.rootHub)
                pending.push_back(controller.rootHub.get());
        while (!pending.empty()) {
            const SimHub* hub = pending.back();
            pending.pop_back();
            hubByName_.try_emplace(FoldedName(hub->name), indexOf[hub]);
            for (const SimPort& port : hub->ports)
                if (port.hub)
                    pending.push_back(port.hub.get());
        }
        for (uint32_t i = 0; i < hubs_.size(); ++i)
            hubs_[i].opensAs = hubByName_[FoldedName(simHubs_[i]->name)];
    }

    const SimTopology& topology_;
    std::vector<FlatController> controllers_;
    std::vector<FlatHub> hubs_;
    std::vector<const SimHub*> simHubs_;
    std::map<std::string, uint32_t> hubByName_;  // filled by ResolveOpens
    std::vector<FlatPort> ports_;
    std::vector<FlatString> strings_;
    std::vector<uint8_t> data_;
};

}  // namespace

FlatTopology FlattenTopology(const SimTopology& topology)
{
    return Writer(topology).Write();
}
