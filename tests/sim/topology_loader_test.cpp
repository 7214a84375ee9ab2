#include "sim/topology_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/sim_registry.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr char kFile[] = "pc.json";

struct Loaded {
    bool ok = false;
    std::string error;
    SimTopology topology;
};

Loaded Parse(const std::string& text)
{
    Loaded loaded;
    loaded.ok = ParseTopology(text, kFile, &loaded.topology, &loaded.error);
    return loaded;
}

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 3)
        bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

const SimRegistryKey* Subkey(const SimRegistryKey& key, const std::string& name)
{
    for (const auto& sub : key.subkeys)
        if (sub->name == name)
            return sub.get();
    return nullptr;
}

const SimRegistryKey* KeyAt(const SimRegistryKey& root, const std::vector<std::string>& path)
{
    const SimRegistryKey* key = &root;
    for (const auto& name : path) {
        key = Subkey(*key, name);
        if (!key)
            return nullptr;
    }
    return key;
}

// One line, starting with the file's name.
void ExpectErrorLine(const std::string& error, const std::string& file)
{
    EXPECT_EQ(error.rfind(file + ": ", 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(error.find('\r'), std::string::npos) << error;
    EXPECT_GT(error.size(), file.size() + 2) << error;
}

constexpr char kDeviceDescriptor[] = "12 01 00 02 00 00 00 40 6d 04 1c c3 00 64 01 02 00 01";
constexpr char kConfigSet[] = "09 02 22 00 01 01 00 a0 2d 09 04 00 00 01 03 01 01 00 09 21 10 01 00 01 22 3f 00 "
                              "07 05 81 03 08 00 0a";
constexpr char kPipe[] = "07 05 81 03 08 00 0a";

// Every key of the format in use once.
Json FullDocument()
{
    return Json::parse(R"json({
  "_comment": "every key once",
  "controller_set": false,
  "controllers": [
    {
      "_note": "first",
      "description": "Universeller Hostcontroller für Geräte – 2€",
      "open": false,
      "device_path": "\\\\?\\pci#ven_8086&dev_1e31#3&1&0&a0#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}",
      "fail": ["interface", "root_hub_name_probe"],
      "root_hub": {
        "name": "USB#ROOT_HUB30#4&1b3c5f2&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
        "open": false,
        "node_query": false,
        "port_count": 255,
        "ports": [
          {
            "status": 1, "speed": 0, "config_value": 1, "address": 513,
            "device_descriptor": "12 01 00 02 00 00 00 40 6d 04 1c c3 00 64 01 02 00 01",
            "config_descriptors": ["09 02 22 00 01 01 00 a0 2d 09 04 00 00 01 03 01 01 00 09 21 10 01 00 01 22 3f 00 07 05 81 03 08 00 0a", ""],
            "languages": ["0409", "0407"],
            "strings": {"1": {"0409": "Logitech", "0407": "Gerät ☃ 😀"}, "255": {"0409": ""}, "_x": {}},
            "raw_strings": {"2:0409": "07 03 41 00 42 00 43", "0:0000": ""},
            "driver_key": "{36fc9e60-c465-11cf-8056-444553540000}\\0004",
            "fail": ["connection_ex", "string:02:040c", "cycle_port", "string:1:0409"],
            "pipes": ["07 05 81 03 08 00 0a"]
          },
          {
            "port": 7, "is_hub": true, "driver_key": null,
            "hub": {"name": "Hub Ä", "ports": [{}, {"port": 3, "status": 6}]}
          },
          {"device_descriptor": "12 01 00 02 00 00 00 40 6d 04 1c c3 00 64 01 02 00 01", "languages": []}
        ]
      }
    },
    {"root_hub": null},
    {}
  ],
  "registry": {
    "System\\CurrentControlSet\\Enum\\USB\\VID_046D&PID_C31C\\5&2a3b&0&2": {"Driver": "{36fc9e60-c465-11cf-8056-444553540000}\\0004"},
    "System\\CurrentControlSet\\Enum\\USB\\ROOT_HUB30\\4&1b3c5f2&0": {"Driver": "x", "@open": false},
    "System\\CurrentControlSet\\Control\\Class\\{36fc9e60-c465-11cf-8056-444553540000}\\0004": {
      "DriverDesc": "USB-Verbundgerät", "Raw": {"hex": "55 53 42"}, "": "default", "_comment": "not a value"
    }
  },
  "classes_root": {"CLSID\\Ü": {"Name": "x"}}
})json");
}

// A small valid file whose places the format-error cases below overwrite.
Json BaseDocument()
{
    Json document = Json::parse(R"json({
  "controllers": [{
    "description": "Host",
    "root_hub": {"name": "ROOT", "ports": [
      {"device_descriptor": "", "config_descriptors": [], "pipes": []},
      {"is_hub": true, "hub": {"name": "HUB", "ports": [{}, {}]}},
      {}
    ]}
  }],
  "registry": {"A\\B": {"V": "text"}},
  "classes_root": {"C": {}}
})json");
    Json& first = document["controllers"][0]["root_hub"]["ports"][0];
    first["device_descriptor"] = kDeviceDescriptor;
    first["config_descriptors"] = Json::array({kConfigSet});
    first["pipes"] = Json::array({kPipe});
    return document;
}

}  // namespace

TEST(TopologyLoaderGoodFile, ControllersKeepTheirFields)
{
    Loaded loaded = Parse(FullDocument().dump());
    ASSERT_TRUE(loaded.ok) << loaded.error;
    const SimTopology& topology = loaded.topology;
    EXPECT_FALSE(topology.controllerSet);
    ASSERT_EQ(topology.controllers.size(), 3u);

    const SimController& first = topology.controllers[0];
    ASSERT_TRUE(first.description.has_value());
    EXPECT_EQ(*first.description, "Universeller Hostcontroller f\xFCr Ger\xE4te \x96 2\x80");
    EXPECT_FALSE(first.open);
    EXPECT_EQ(first.devicePath, "\\\\?\\pci#ven_8086&dev_1e31#3&1&0&a0#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}");
    EXPECT_EQ(first.fail, (SimFailures{"interface", "root_hub_name_probe"}));
    ASSERT_NE(first.rootHub, nullptr);

    const SimController& second = topology.controllers[1];
    EXPECT_EQ(second.rootHub, nullptr);
    EXPECT_FALSE(second.description.has_value());

    const SimController& third = topology.controllers[2];
    EXPECT_TRUE(third.open);
    EXPECT_EQ(third.rootHub, nullptr);
    EXPECT_TRUE(third.fail.empty());
    EXPECT_TRUE(third.devicePath.empty());
}

TEST(TopologyLoaderGoodFile, HubsAndPortsKeepTheirFields)
{
    Loaded loaded = Parse(FullDocument().dump());
    ASSERT_TRUE(loaded.ok) << loaded.error;
    const SimHub& root = *loaded.topology.controllers[0].rootHub;
    EXPECT_EQ(root.name, u"USB#ROOT_HUB30#4&1b3c5f2&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
    EXPECT_FALSE(root.open);
    EXPECT_FALSE(root.nodeQuery);
    EXPECT_EQ(root.portCount, 255u);
    ASSERT_EQ(root.ports.size(), 3u);

    const SimPort& device = root.ports[0];
    EXPECT_EQ(device.port, 1u);
    EXPECT_EQ(device.status, 1u);
    EXPECT_EQ(device.speed, 0);
    EXPECT_FALSE(device.isHub);
    EXPECT_EQ(device.configValue, 1);
    EXPECT_EQ(device.address, 513);
    EXPECT_EQ(device.deviceDescriptor, Hex(kDeviceDescriptor));
    ASSERT_EQ(device.configDescriptors.size(), 2u);
    EXPECT_EQ(device.configDescriptors[0], Hex(kConfigSet));
    EXPECT_TRUE(device.configDescriptors[1].empty());
    EXPECT_TRUE(device.hasLanguageList);
    EXPECT_EQ(device.languages, (std::vector<uint16_t>{0x0409, 0x0407}));
    EXPECT_EQ(device.strings.at(1).at(0x0409), u"Logitech");
    EXPECT_EQ(device.strings.at(1).at(0x0407), u"Ger\u00E4t \u2603 \U0001F600");
    EXPECT_EQ(device.strings.at(255).at(0x0409), u"");
    EXPECT_EQ(device.strings.size(), 2u);
    EXPECT_EQ(device.rawStrings.at({2, 0x0409}), (std::vector<uint8_t>{7, 3, 0x41, 0, 0x42, 0, 0x43}));
    EXPECT_TRUE(device.rawStrings.at({0, 0}).empty());
    ASSERT_TRUE(device.driverKey.has_value());
    EXPECT_EQ(*device.driverKey, u"{36fc9e60-c465-11cf-8056-444553540000}\\0004");
    EXPECT_EQ(device.fail, (SimFailures{"connection_ex", "string:2:040C", "cycle_port", "string:1:0409"}));
    EXPECT_EQ(device.pipes, (std::vector<std::vector<uint8_t>>{Hex(kPipe)}));
    EXPECT_EQ(device.hub, nullptr);

    const SimPort& hubPort = root.ports[1];
    EXPECT_EQ(hubPort.port, 7u);
    EXPECT_EQ(hubPort.status, 0u);
    EXPECT_TRUE(hubPort.isHub);
    EXPECT_FALSE(hubPort.driverKey.has_value());
    EXPECT_FALSE(hubPort.hasLanguageList);
    ASSERT_NE(hubPort.hub, nullptr);
    EXPECT_EQ(hubPort.hub->name, u"Hub \u00C4");
    EXPECT_TRUE(hubPort.hub->open);
    EXPECT_TRUE(hubPort.hub->nodeQuery);
    EXPECT_EQ(hubPort.hub->portCount, 2u);
    ASSERT_EQ(hubPort.hub->ports.size(), 2u);
    EXPECT_EQ(hubPort.hub->ports[0].port, 1u);
    EXPECT_EQ(hubPort.hub->ports[0].status, 0u);
    EXPECT_EQ(hubPort.hub->ports[1].port, 3u);
    EXPECT_EQ(hubPort.hub->ports[1].status, 6u);

    const SimPort& third = root.ports[2];
    EXPECT_EQ(third.port, 3u);
    EXPECT_EQ(third.status, 1u);
    EXPECT_TRUE(third.hasLanguageList);
    EXPECT_TRUE(third.languages.empty());
}

TEST(TopologyLoaderGoodFile, RegistryKeysKeepFileOrderAndValueBytes)
{
    Loaded loaded = Parse(FullDocument().dump());
    ASSERT_TRUE(loaded.ok) << loaded.error;
    const SimRegistryKey& machine = loaded.topology.localMachine;

    const SimRegistryKey* usb = KeyAt(machine, {"System", "CurrentControlSet", "Enum", "USB"});
    ASSERT_NE(usb, nullptr);
    ASSERT_EQ(usb->subkeys.size(), 2u);
    EXPECT_EQ(usb->subkeys[0]->name, "VID_046D&PID_C31C");
    EXPECT_EQ(usb->subkeys[1]->name, "ROOT_HUB30");

    const SimRegistryKey* instance = KeyAt(*usb, {"VID_046D&PID_C31C", "5&2a3b&0&2"});
    ASSERT_NE(instance, nullptr);
    EXPECT_TRUE(instance->openable);
    EXPECT_EQ(instance->values.at("Driver"), SimTextValue("{36fc9e60-c465-11cf-8056-444553540000}\\0004"));

    const SimRegistryKey* closed = KeyAt(*usb, {"ROOT_HUB30", "4&1b3c5f2&0"});
    ASSERT_NE(closed, nullptr);
    EXPECT_FALSE(closed->openable);
    EXPECT_TRUE(KeyAt(*usb, {"ROOT_HUB30"})->openable);
    EXPECT_EQ(closed->values.count("@open"), 0u);

    const SimRegistryKey* driver = KeyAt(
        machine, {"System", "CurrentControlSet", "Control", "Class", "{36fc9e60-c465-11cf-8056-444553540000}", "0004"});
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->values.at("DriverDesc"), SimTextValue("USB-Verbundger\xE4t"));
    EXPECT_EQ(driver->values.at("DriverDesc").back(), 0);
    EXPECT_EQ(driver->values.at("Raw"), (SimRegistryValue{0x55, 0x53, 0x42}));
    EXPECT_EQ(driver->values.at(""), SimTextValue("default"));
    EXPECT_EQ(driver->values.size(), 3u);

    const SimRegistryKey* classes = KeyAt(loaded.topology.classesRoot, {"CLSID", "\xDC"});
    ASSERT_NE(classes, nullptr);
    EXPECT_EQ(classes->values.at("Name"), SimTextValue("x"));
    EXPECT_EQ(KeyAt(machine, {"CLSID"}), nullptr);
}

TEST(TopologyLoaderGoodFile, EmptyDocumentIsAPcWithoutControllers)
{
    Loaded loaded = Parse("{}");
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_TRUE(loaded.topology.controllerSet);
    EXPECT_TRUE(loaded.topology.controllers.empty());
    EXPECT_TRUE(loaded.topology.localMachine.subkeys.empty());
    EXPECT_TRUE(loaded.topology.classesRoot.subkeys.empty());
}

TEST(TopologyLoaderGoodFile, HubPortCountDefaultsToThePortsListed)
{
    Json document = BaseDocument();
    document["controllers"][0]["root_hub"]["ports"].push_back(Json::object());
    Loaded loaded = Parse(document.dump());
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(loaded.topology.controllers[0].rootHub->portCount, 4u);
    EXPECT_EQ(loaded.topology.controllers[0].rootHub->ports[3].port, 4u);
}

TEST(TopologyLoaderFormatErrors, EachBrokenRuleNamesThePlace)
{
    struct Case {
        const char* pointer;   // where BaseDocument() is changed
        const char* value;     // the JSON put there
        const char* place;     // expected in the message
    };
    const Case cases[] = {
        {"/controler", "[]", "controler"},
        {"/controller_set", "\"false\"", "controller_set"},
        {"/controllers", "{}", "controllers"},
        {"/controllers/0", "7", "controllers[0]"},
        {"/controllers/0/description", "5", "controllers[0].description"},
        {"/controllers/0/description", "\"Controller \u0100\"", "controllers[0].description"},
        {"/controllers/0/open", "\"yes\"", "controllers[0].open"},
        {"/controllers/0/opne", "true", "controllers[0].opne"},
        {"/controllers/0/device_path", "[]", "controllers[0].device_path"},
        {"/controllers/0/fail", "\"path\"", "controllers[0].fail"},
        {"/controllers/0/fail", "[\"path\", \"connection\"]", "controllers[0].fail[1]"},
        {"/controllers/0/fail", "[1]", "controllers[0].fail[0]"},
        {"/controllers/0/root_hub", "\"ROOT\"", "controllers[0].root_hub"},
        {"/controllers/0/root_hub/name", "null", "controllers[0].root_hub.name"},
        {"/controllers/0/root_hub/node_query", "1", "controllers[0].root_hub.node_query"},
        {"/controllers/0/root_hub/port_count", "-1", "controllers[0].root_hub.port_count"},
        {"/controllers/0/root_hub/port_count", "1.5", "controllers[0].root_hub.port_count"},
        {"/controllers/0/root_hub/port_count", "4294967296", "controllers[0].root_hub.port_count"},
        {"/controllers/0/root_hub/port_count", "256", "controllers[0].root_hub.port_count"},
        {"/controllers/0/root_hub/ports/2/port", "0", "controllers[0].root_hub.ports[2].port"},
        {"/controllers/0/root_hub/ports/2/port", "256", "controllers[0].root_hub.ports[2].port"},
        {"/controllers/0/root_hub/name", "\"RO\\u0000OT\"", "controllers[0].root_hub.name"},
        {"/controllers/0/root_hub/ports/2/driver_key", "\"{36fc}\\u0000\\\\0001\"",
         "controllers[0].root_hub.ports[2].driver_key"},
        {"/controllers/0/device_path", "\"\\\\\\\\?\\u0000x\"", "controllers[0].device_path"},
        {"/controllers/0/root_hub/ports", "{}", "controllers[0].root_hub.ports"},
        {"/controllers/0/root_hub/ports/2", "[]", "controllers[0].root_hub.ports[2]"},
        {"/controllers/0/root_hub/ports/2/satus", "1", "controllers[0].root_hub.ports[2].satus"},
        {"/controllers/0/root_hub/ports/2/port", "1", "controllers[0].root_hub.ports[2]"},
        {"/controllers/0/root_hub/ports/2/status", "\"1\"", "controllers[0].root_hub.ports[2].status"},
        {"/controllers/0/root_hub/ports/2/speed", "256", "controllers[0].root_hub.ports[2].speed"},
        {"/controllers/0/root_hub/ports/2/config_value", "-3", "controllers[0].root_hub.ports[2].config_value"},
        {"/controllers/0/root_hub/ports/2/address", "65536", "controllers[0].root_hub.ports[2].address"},
        {"/controllers/0/root_hub/ports/2/is_hub", "\"true\"", "controllers[0].root_hub.ports[2].is_hub"},
        {"/controllers/0/root_hub/ports/2/device_descriptor", "\"12 01 00 02\"",
         "controllers[0].root_hub.ports[2].device_descriptor"},
        {"/controllers/0/root_hub/ports/2/device_descriptor",
         "\"12 01 00 02 00 00 00 40 6d 04 1c c3 00 64 01 02 00 01 00\"",
         "controllers[0].root_hub.ports[2].device_descriptor"},
        {"/controllers/0/root_hub/ports/0/device_descriptor",
         "\"12 01 00 02 00 00 00 40 6d 04 1c c3 00 64 01 02 00 0g\"",
         "controllers[0].root_hub.ports[0].device_descriptor"},
        {"/controllers/0/root_hub/ports/0/device_descriptor",
         "\"1201 0002 0000 0040 6d04 1cc3 0064 0102 0001\"", "controllers[0].root_hub.ports[0].device_descriptor"},
        {"/controllers/0/root_hub/ports/0/device_descriptor", "18", "controllers[0].root_hub.ports[0].device_descriptor"},
        {"/controllers/0/root_hub/ports/0/config_descriptors", "\"09 02\"",
         "controllers[0].root_hub.ports[0].config_descriptors"},
        {"/controllers/0/root_hub/ports/0/config_descriptors/1", "\"09 02 x9\"",
         "controllers[0].root_hub.ports[0].config_descriptors[1]"},
        {"/controllers/0/root_hub/ports/0/languages", "[\"0409\", \"409\"]",
         "controllers[0].root_hub.ports[0].languages[1]"},
        {"/controllers/0/root_hub/ports/0/languages", "[\"04O9\"]", "controllers[0].root_hub.ports[0].languages[0]"},
        {"/controllers/0/root_hub/ports/0/languages", "[1033]", "controllers[0].root_hub.ports[0].languages[0]"},
        {"/controllers/0/root_hub/ports/0/strings", "[]", "controllers[0].root_hub.ports[0].strings"},
        {"/controllers/0/root_hub/ports/0/strings", "{\"0\": {\"0409\": \"x\"}}",
         "controllers[0].root_hub.ports[0].strings[\"0\"]"},
        {"/controllers/0/root_hub/ports/0/strings", "{\"256\": {\"0409\": \"x\"}}",
         "controllers[0].root_hub.ports[0].strings[\"256\"]"},
        {"/controllers/0/root_hub/ports/0/strings", "{\"one\": {\"0409\": \"x\"}}",
         "controllers[0].root_hub.ports[0].strings[\"one\"]"},
        {"/controllers/0/root_hub/ports/0/strings", "{\"1\": \"x\"}", "controllers[0].root_hub.ports[0].strings[\"1\"]"},
        {"/controllers/0/root_hub/ports/0/strings", "{\"1\": {\"eng\": \"x\"}}",
         "controllers[0].root_hub.ports[0].strings[\"1\"][\"eng\"]"},
        {"/controllers/0/root_hub/ports/0/strings", "{\"1\": {\"0409\": 3}}",
         "controllers[0].root_hub.ports[0].strings[\"1\"][\"0409\"]"},
        {"/controllers/0/root_hub/ports/0/raw_strings", "{\"1\": \"04 03 41 00\"}",
         "controllers[0].root_hub.ports[0].raw_strings[\"1\"]"},
        {"/controllers/0/root_hub/ports/0/raw_strings", "{\"1:0409\": \"04 03 41 0\"}",
         "controllers[0].root_hub.ports[0].raw_strings[\"1:0409\"]"},
        {"/controllers/0/root_hub/ports/0/driver_key", "4", "controllers[0].root_hub.ports[0].driver_key"},
        {"/controllers/0/root_hub/ports/0/hub", "{\"name\": \"H\"}", "controllers[0].root_hub.ports[0].hub"},
        {"/controllers/0/root_hub/ports/0/fail", "[\"config\", \"configs\"]",
         "controllers[0].root_hub.ports[0].fail[1]"},
        {"/controllers/0/root_hub/ports/0/fail", "[\"interface\"]", "controllers[0].root_hub.ports[0].fail[0]"},
        {"/controllers/0/root_hub/ports/0/fail", "[\"string:x:0409\"]", "controllers[0].root_hub.ports[0].fail[0]"},
        {"/controllers/0/root_hub/ports/0/fail", "[\"string:1:04091\"]", "controllers[0].root_hub.ports[0].fail[0]"},
        {"/controllers/0/root_hub/ports/0/fail", "[\"string:1\"]", "controllers[0].root_hub.ports[0].fail[0]"},
        {"/controllers/0/root_hub/ports/0/pipes/0", "\"09 05 81 03 08 00 0a 00 00\"",
         "controllers[0].root_hub.ports[0].pipes[0]"},
        {"/controllers/0/root_hub/ports/0/pipes", "[\"07 05 81 03 08 00 0a\", \"07 05 82\"]",
         "controllers[0].root_hub.ports[0].pipes[1]"},
        {"/controllers/0/root_hub/ports/1/hub/ports/1/status", "true",
         "controllers[0].root_hub.ports[1].hub.ports[1].status"},
        {"/controllers/0/root_hub/ports/1/hub/ports/1/hub", "{\"name\": \"X\"}",
         "controllers[0].root_hub.ports[1].hub.ports[1].hub"},
        {"/controllers/0/root_hub/ports/1/hub/name", "[\"HUB\"]", "controllers[0].root_hub.ports[1].hub.name"},
        {"/registry", "[]", "registry"},
        {"/registry/A\\B", "\"text\"", "registry[\"A\\B\"]"},
        {"/registry/A\\B/V", "5", "registry[\"A\\B\"][\"V\"]"},
        {"/registry/A\\B/V", "\"\u0394\"", "registry[\"A\\B\"][\"V\"]"},
        {"/registry/A\\B/V", "{\"hex\": \"zz\"}", "registry[\"A\\B\"][\"V\"].hex"},
        {"/registry/A\\B/V", "{\"hex\": \"01\", \"text\": \"x\"}", "registry[\"A\\B\"][\"V\"].text"},
        {"/registry/A\\B/V", "{}", "registry[\"A\\B\"][\"V\"]"},
        {"/registry/A\\B/@open", "\"no\"", "registry[\"A\\B\"][\"@open\"]"},
        {"/registry/A\\\\B", "{}", "registry[\"A\\\\B\"]"},
        {"/registry/A\\", "{}", "registry[\"A\\\"]"},
        {"/registry/", "{}", "registry[\"\"]"},
        {"/registry/\u0100", "{}", "registry[\"\u0100\"]"},
        {"/classes_root/C", "[]", "classes_root[\"C\"]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pointer) + " = " + c.value);
        Json document = BaseDocument();
        document[Json::json_pointer(c.pointer)] = Json::parse(c.value);
        SimTopology topology;
        topology.controllers.resize(5);
        std::string error;
        EXPECT_FALSE(ParseTopology(document.dump(), kFile, &topology, &error));
        ExpectErrorLine(error, kFile);
        EXPECT_NE(error.find(std::string(": ") + c.place + ": "), std::string::npos) << error;
        EXPECT_EQ(topology.controllers.size(), 5u) << "a failed load left the topology changed";
    }
}

TEST(TopologyLoaderFormatErrors, TheBaseDocumentItselfLoads)
{
    Loaded loaded = Parse(BaseDocument().dump());
    EXPECT_TRUE(loaded.ok) << loaded.error;
}

TEST(TopologyLoaderFormatErrors, BrokenJsonNamesTheLine)
{
    Loaded loaded = Parse("{\n  \"controllers\": [\n    {\"open\": tru}\n  ]\n}\n");
    EXPECT_FALSE(loaded.ok);
    ExpectErrorLine(loaded.error, kFile);
    EXPECT_NE(loaded.error.find("line 3"), std::string::npos) << loaded.error;
    EXPECT_EQ(loaded.error.find("[json.exception"), std::string::npos) << loaded.error;
}

TEST(TopologyLoaderFormatErrors, NonObjectDocumentsAndTextThatIsNotJsonAreRejected)
{
    for (const char* text : {"", "[]", "null", "3", "\"controllers\"", "{} {}", "{\"controllers\": []", "\xEF\xBB",
                             "{\"controllers\": [],}", "{\"_c\": [1,]}", "{\"_c\": [}", "{\"_c\" 1}", "{_c: 1}",
                             "{\"_c\": 01}", "{\"_c\": 1.}", "{\"_c\": -}", "{\"_c\": 1e}", "{\"_c\": nul}",
                             "{\"_c\": \"\\ud800\"}", "{\"_c\": \"\\udc00\"}", "{\"_c\": \"\\x\"}",
                             "{\"_c\": \"\\u12\"}", "{\"_c\": \"\xC0\x80\"}", "{\"_c\": \"\xED\xA0\x80\"}",
                             "{\"_c\": \"\xF4\x90\x80\x80\"}", "{\"_c\": \"\x80\"}", "{\"_c\": \"tab\there\"}",
                             "{\"_c\": \"open"}) {
        SCOPED_TRACE(text);
        Loaded loaded = Parse(text);
        EXPECT_FALSE(loaded.ok);
        ExpectErrorLine(loaded.error, kFile);
    }
}

TEST(TopologyLoaderFormatErrors, CommentsNestedDeepAndEscapedTextLoad)
{
    // A comment is passed over without recursion, however deep.
    const std::string deep = "{\"_c\": " + std::string(200000, '[') + std::string(200000, ']') + "}";
    EXPECT_TRUE(Parse(deep).ok);
    const Loaded unbalanced = Parse("{\"_c\": " + std::string(200000, '[') + "}");
    EXPECT_FALSE(unbalanced.ok);
    ExpectErrorLine(unbalanced.error, kFile);

    // Escapes, a surrogate pair and multi-byte UTF-8 reach the device's strings.
    const Loaded strings = Parse(R"({"controllers": [{"root_hub": {"name": "R", "ports": [{"strings": {"1": {"0409":
        "\"\\\/\b\f\n\r\t\u00e4\ud83d\ude00é€"}}}]}}]})");
    ASSERT_TRUE(strings.ok) << strings.error;
    EXPECT_EQ(strings.topology.controllers[0].rootHub->ports[0].strings.at(1).at(0x409),
              std::u16string(u"\"\\/\b\f\n\r\t\u00e4\U0001F600\u00e9\u20ac"));
}

TEST(TopologyLoaderFormatErrors, AFileDescribingFarMoreThanItsSizeIsRefused)
{
    // 20,000 controllers written as "{}" would take some 400 bytes each.
    std::string controllers;
    for (int i = 0; i < 20000; ++i)
        controllers += i ? ",{}" : "{}";
    const Loaded loaded = Parse("{\"controllers\": [" + controllers + "]}");
    EXPECT_FALSE(loaded.ok);
    ExpectErrorLine(loaded.error, kFile);
    EXPECT_NE(loaded.error.find("loading the file would take more than 16 bytes of memory per byte of it"),
              std::string::npos)
        << loaded.error;
    // 3,000 of them are within the allowance every file has.
    EXPECT_TRUE(Parse("{\"controllers\": [" + controllers.substr(0, 5999) + "]}").ok);
}

TEST(TopologyLoaderFormatErrors, ControlCharactersInKeysStayOnOneLine)
{
    Loaded loaded = Parse("{\"con\\ntrollers\\r\": []}");
    EXPECT_FALSE(loaded.ok);
    ExpectErrorLine(loaded.error, kFile);
}

TEST(TopologyLoaderFormatErrors, HubsNestedWithoutEndAreRejected)
{
    Json hub = {{"name", "deepest"}};
    for (int level = 0; level < 200; ++level)
        hub = {{"name", "hub" + std::to_string(level)}, {"ports", Json::array({{{"is_hub", true}, {"hub", hub}}})}};
    Json document = {{"controllers", Json::array({{{"root_hub", hub}}})}};
    Loaded loaded = Parse(document.dump());
    EXPECT_FALSE(loaded.ok);
    ExpectErrorLine(loaded.error, kFile);
    EXPECT_NE(loaded.error.find("nested"), std::string::npos) << loaded.error;
}

TEST(TopologyLoaderFormatErrors, RealisticNestingLoads)
{
    Json hub = {{"name", "deepest"}};
    for (int level = 0; level < 6; ++level)
        hub = {{"name", "hub" + std::to_string(level)}, {"ports", Json::array({{{"is_hub", true}, {"hub", hub}}})}};
    Json document = {{"controllers", Json::array({{{"root_hub", hub}}})}};
    Loaded loaded = Parse(document.dump());
    EXPECT_TRUE(loaded.ok) << loaded.error;
}

TEST(TopologyLoaderFiles, MissingFileAndDirectoryAreNamed)
{
    const std::string missing = std::filesystem::temp_directory_path() / "portolan-no-such-topology.json";
    const std::string directory = std::filesystem::temp_directory_path();
    for (const std::string& path : {missing, directory}) {
        SCOPED_TRACE(path);
        SimTopology topology;
        std::string error;
        EXPECT_FALSE(LoadTopologyFile(path, &topology, &error));
        ExpectErrorLine(error, path);
    }
}

TEST(TopologyLoaderFiles, FileLoadsAsItsText)
{
    const std::string path =
        std::filesystem::temp_directory_path() / ("portolan-loader-" + std::to_string(getpid()) + ".json");
    {
        std::ofstream file(path, std::ios::binary);
        file << FullDocument().dump(2);
    }
    SimTopology topology;
    std::string error;
    EXPECT_TRUE(LoadTopologyFile(path, &topology, &error)) << error;
    EXPECT_EQ(topology.controllers.size(), 3u);

    {
        std::ofstream file(path, std::ios::binary);
        file << "{\"controllers\": [{\"open\": 1}]}";
    }
    EXPECT_FALSE(LoadTopologyFile(path, &topology, &error));
    ExpectErrorLine(error, path);
    EXPECT_NE(error.find("controllers[0].open"), std::string::npos) << error;
    std::filesystem::remove(path);
}

TEST(TopologyLoaderFiles, EverySampleLoads)
{
    const std::filesystem::path samples = std::filesystem::path(PORTOLAN_SOURCE_DIR) / "samples";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        if (entry.path().extension() != ".json")
            continue;
        SCOPED_TRACE(entry.path().string());
        SimTopology topology;
        std::string error;
        EXPECT_TRUE(LoadTopologyFile(entry.path().string(), &topology, &error)) << error;
        ++count;
    }
    EXPECT_GT(count, 0);
}

TEST(TopologyLoaderGarbage, RandomBytesGiveAnErrorLine)
{
    std::mt19937 random(20240611);
    const std::string alphabet =
        std::string("{}[]\":,0123456789 -.eEtruefalsnl\\u\n") + std::string("\x80\xC3\xFF\0", 4) + "abcdef";
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const size_t length = random() % 64;
        for (size_t i = 0; i < length; ++i)
            text += round % 2 ? static_cast<char>(random() & 0xFF) : alphabet[random() % alphabet.size()];
        Loaded loaded;
        ASSERT_NO_THROW(loaded = Parse(text));
        if (!loaded.ok)
            ExpectErrorLine(loaded.error, kFile);
    }
}

TEST(TopologyLoaderGarbage, MutatedFilesNeverThrow)
{
    const std::string original = FullDocument().dump();
    std::mt19937 random(77);
    int rejected = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = original;
        for (int edits = 1 + static_cast<int>(random() % 3); edits > 0; --edits) {
            const size_t at = random() % text.size();
            switch (random() % 4) {
            case 0:
                text[at] = static_cast<char>(random() & 0xFF);
                break;
            case 1:
                text.erase(at, 1 + random() % 8);
                break;
            case 2:
                text.insert(at, 1, "{}[],:\"0a"[random() % 9]);
                break;
            default:
                text.resize(at);
                break;
            }
            if (text.empty())
                break;
        }
        Loaded loaded;
        ASSERT_NO_THROW(loaded = Parse(text));
        if (!loaded.ok) {
            ExpectErrorLine(loaded.error, kFile);
            ++rejected;
        }
    }
    EXPECT_GT(rejected, 0);
}

TEST(TopologyLoaderGarbage, DeepJsonNestingIsRejectedCleanly)
{
    for (const char* open : {"[", "{\"a\":"}) {
        std::string text;
        for (int i = 0; i < 100000; ++i)
            text += open;
        Loaded loaded = Parse(text);
        EXPECT_FALSE(loaded.ok);
        ExpectErrorLine(loaded.error, kFile);
    }
    std::string balanced(50000, '[');
    balanced += std::string(50000, ']');
    Loaded loaded = Parse(balanced);
    EXPECT_FALSE(loaded.ok);
    ExpectErrorLine(loaded.error, kFile);
}

TEST(TopologyLoaderGarbage, NullOutputsAreTolerated)
{
    EXPECT_TRUE(ParseTopology("{}", kFile, nullptr, nullptr));
    EXPECT_FALSE(ParseTopology("{", kFile, nullptr, nullptr));
}

// Files that parse as JSON but break the format where the parser alone would
// let them pass: a key given twice, a NUL in a registry name.
TEST(TopologyLoaderBadFile, KeysGivenTwiceAndNulInNamesAreRefused)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {R"({"controllers": [], "controllers": []})", "pc.json: controllers: key given twice in one object"},
        {R"({"controllers": [{"root_hub": {"name": "A", "ports": [{}, {"port": 3, "status": 1, "port": 2}]}}]})",
         "pc.json: controllers[0].root_hub.ports[1].port: key given twice in one object"},
        {R"({"registry": {"A": {"V": "x", "V": "y"}}})", "pc.json: registry[\"A\"][\"V\"]: key given twice in one object"},
        {R"({"registry": {"A\u0000B": {}}})", "pc.json: registry[\"A\\x00B\"]: a name has no NUL character"},
        {R"({"registry": {"A": {"V\u0000": "x"}}})",
         "pc.json: registry[\"A\"][\"V\\x00\"]: a name has no NUL character"},
    };
    for (const auto& c : cases) {
        const Loaded loaded = Parse(c.text);
        EXPECT_FALSE(loaded.ok) << c.text;
        EXPECT_EQ(loaded.error, c.message);
    }
    // The same keys in different objects are fine.
    EXPECT_TRUE(Parse(R"({"registry": {"A": {"V": "x"}, "B": {"V": "x"}}})").ok);
}

TEST(TopologyLoaderBadFile, ErrorQuotesLittleOfWhatItFoundWithControlsEscaped)
{
    // An unknown key of 500 characters with C0 and C1 controls in it.
    std::string key = "k\\u0001\\u001f\\u007f\\u0085";
    key += std::string(500, 'x');
    const Loaded unknownKey = Parse("{\"" + key + "\": 1}");
    ASSERT_FALSE(unknownKey.ok);
    EXPECT_EQ(unknownKey.error, "pc.json: k\\x01\\x1f\\x7f\\u0085" + std::string(55, 'x') + "...: unknown key");

    const Loaded badBytes = Parse(R"({"controllers": [{"root_hub": {"name": "R", "ports": [{"device_descriptor": ")" +
                                  std::string(300, 'z') + R"("}]}}]})");
    ASSERT_FALSE(badBytes.ok);
    EXPECT_LT(badBytes.error.size(), 160u) << badBytes.error;
    EXPECT_NE(badBytes.error.find(std::string(60, 'z') + "..."), std::string::npos) << badBytes.error;

    // The parser's own message quotes the token it stopped at.
    const Loaded notJson = Parse("{\"a\": \"" + std::string(400, 'q') + "\u0002");
    ASSERT_FALSE(notJson.ok);
    EXPECT_EQ(notJson.error.find(std::string(61, 'q')), std::string::npos) << notJson.error;
    ExpectErrorLine(notJson.error, "pc.json");
}
