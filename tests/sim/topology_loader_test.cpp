#include "sim/topology_loader.h"

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "sim/sim_registry.h"

namespace {

using Json = nlohmann::ordered_json;

const SimRegistryKey* KeyAt(const SimRegistryKey& root, std::initializer_list<std::string> path)
{
    const SimRegistryKey* key = &root;
    for (const auto& name : path) {
        const SimRegistryKey* next = nullptr;
        for (const auto& sub : key->subkeys)
            if (sub->name == name)
                next = sub.get();
        if (!(key = next))
            return nullptr;
    }
    return key;
}

TEST(TopologyLoader, AFileLoadsAsThePcItDescribes)
{
    SimTopology topology;
    std::string error;
    ASSERT_TRUE(ParseTopology(R"json({
  "_comment": "not a key of the format",
  "caller_elevated": false,
  "controllers": [{
    "description": "Hostcontroller für Geräte – 2€", "open": false, "fail": ["root_hub_name_probe"],
    "root_hub": {"name": "ROOT", "node_query": false, "ports": [
      {"device_descriptor": "12 01 00 02 00 00 00 40 6d 04 1c c3 00 64 01 02 00 01", "languages": ["0409"], "strings": {"1": {"0409": "Gerät 😀"}},
       "raw_strings": {"2:0409": "07 03 41"}, "driver_key": "{36fc}\\0004", "fail": ["string:02:040c"]},
      {"port": 7, "is_hub": true, "hub": {"name": "HUB", "ports": [{}, {"port": 3, "status": 6}]}},
      {}
    ]}
  }, {"root_hub": null}],
  "registry": {"System\\Enum\\USB\\VID_1\\5&2": {"Driver": "x"}, "System\\Enum\\USB\\ROOT": {"@open": false},
               "System\\Class\\K": {"Raw": {"hex": "55 53"}, "": "default"}}
})json",
                              "pc.json", &topology, &error))
        << error;
    ASSERT_EQ(topology.controllers.size(), 2u);
    EXPECT_FALSE(topology.callerElevated);
    const SimController& first = topology.controllers[0];
    EXPECT_EQ(*first.description, "Hostcontroller f\xFCr Ger\xE4te \x96 2\x80") << "code page 1252";
    EXPECT_FALSE(first.open);
    EXPECT_EQ(first.fail, SimFailures{"root_hub_name_probe"});
    EXPECT_EQ(topology.controllers[1].rootHub, nullptr);
    const SimHub& root = *first.rootHub;
    EXPECT_FALSE(root.nodeQuery);
    ASSERT_EQ(root.ports.size(), 3u);
    EXPECT_EQ(root.portCount, 3u) << "defaults to the ports listed";
    EXPECT_EQ(root.ports[0].deviceDescriptor.size(), 18u);
    EXPECT_EQ(root.ports[0].deviceDescriptor[8], 0x6D);
    EXPECT_EQ(root.ports[0].strings.at(1).at(0x409), u"Ger\u00E4t \U0001F600");
    EXPECT_EQ(root.ports[0].rawStrings.at({2, 0x409}), (std::vector<uint8_t>{7, 3, 0x41}));
    EXPECT_EQ(root.ports[0].fail, SimFailures{"string:2:040C"});
    EXPECT_EQ(root.ports[1].port, 7u);
    ASSERT_NE(root.ports[1].hub, nullptr);
    EXPECT_EQ(root.ports[1].hub->ports[1].status, 6u);
    EXPECT_EQ(root.ports[2].port, 3u) << "a port without number: its place in the list";

    const SimRegistryKey* usb = KeyAt(topology.localMachine, {"System", "Enum", "USB"});
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(usb->subkeys[0]->name, "VID_1") << "file order";
    EXPECT_FALSE(KeyAt(*usb, {"ROOT"})->openable);
    EXPECT_EQ(KeyAt(*usb, {"VID_1", "5&2"})->values.at("Driver"), SimTextValue("x"));
    const SimRegistryKey* key = KeyAt(topology.localMachine, {"System", "Class", "K"});
    EXPECT_EQ(key->values.at("Raw"), (SimRegistryValue{0x55, 0x53}));
    EXPECT_EQ(key->values.at(""), SimTextValue("default"));
}

TEST(TopologyLoader, ABrokenFileGivesOneLineNamingThePlace)
{
    const std::string deep = std::string(100000, '[');
    const std::string tooMany = "{\"controllers\": [{}" + [] {
        std::string more;
        for (int i = 0; i < 20000; ++i)
            more += ",{}";
        return more;
    }() + "]}";
    const struct {
        std::string text;
        std::string message;  // expected in the error, after "pc.json: "
    } cases[] = {
        {"{\n  \"controllers\": [\n    {\"open\": tru}\n  ]\n}", "line 3"},
        {"[]", ""},
        {"{} {}", ""},
        {"{\"_c\": \"\\ud800\"}", ""},
        {deep, ""},
        {tooMany, "loading the file would take more than 16 bytes of memory per byte of it"},
        {R"({"controler": []})", "controler: unknown key"},
        {R"({"controllers": [], "controllers": []})", "controllers: key given twice in one object"},
        {R"({"controllers": [{"open": "yes"}]})", "controllers[0].open: "},
        {R"({"controllers": [{"fail": ["path", "connection"]}]})", "controllers[0].fail[1]: "},
        {R"({"controllers": [{"description": "\u0100"}]})", "controllers[0].description: "},
        {R"({"controllers": [{"root_hub": {"name": "R", "port_count": 256}}]})", "controllers[0].root_hub.port_count: "},
        {R"({"controllers": [{"root_hub": {"name": "R", "ports": [{"port": 0}]}}]})",
         "controllers[0].root_hub.ports[0].port: "},
        {R"({"controllers": [{"root_hub": {"name": "R", "ports": [{"device_descriptor": "1g"}]}}]})",
         "controllers[0].root_hub.ports[0].device_descriptor: "},
        {R"({"controllers": [{"root_hub": {"name": "R\u0000"}}]})", "controllers[0].root_hub.name: "},
        {R"({"registry": {"A\\": {}}})", "registry[\"A\\\"]: "},
        {R"({"registry": {"A": {"V": "x", "V": "y"}}})", "registry[\"A\"][\"V\"]: key given twice in one object"},
        {R"({"registry": {"A": {"V\u0000": "x"}}})", "registry[\"A\"][\"V\\x00\"]: a name has no NUL character"},
        {"{\"k\\u0001" + std::string(300, 'x') + "\": 1}", "k\\x01" + std::string(58, 'x') + "...: unknown key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        SimTopology topology;
        topology.controllers.resize(5);
        std::string error;
        EXPECT_FALSE(ParseTopology(c.text, "pc.json", &topology, &error));
        EXPECT_EQ(error.rfind("pc.json: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
        EXPECT_LT(error.size(), 200u) << error;
        EXPECT_EQ(topology.controllers.size(), 5u) << "a failed load leaves the topology as it was";
    }
}

}  // namespace
