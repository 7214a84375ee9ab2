#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/run_command.h"

namespace {

using namespace testing_command;
using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

const fs::path kSamples = fs::path(PORTOLAN_SOURCE_DIR) / "samples";
const std::string kOffice = (kSamples / "office-pc.json").string();
constexpr char kClassKey[] = "System\\CurrentControlSet\\Control\\Class\\";

// A scratch folder of this process, removed with the fixture.
class PortolanReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("portolan-report-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Scratch(const std::string& name) const { return dir_ / name; }

    Outcome Report(const std::vector<std::string>& args) const
    {
        std::string command = "exec " + Quoted(PORTOLAN_REPORT_EXE);
        for (const auto& arg : args)
            command += " " + Quoted(arg);
        return RunCommand(command, Scratch("stderr.txt"));
    }

    Outcome ReportFile(const std::string& text, std::vector<std::string> options = {})
    {
        const fs::path file = Scratch("topology.json");
        WriteFile(file, text);
        options.push_back(file.string());
        return Report(options);
    }

private:
    fs::path dir_;
};

void ExpectOneLineFailure(const Outcome& run)
{
    EXPECT_FALSE(run.signalled);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.empty()) << run.out;
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.back(), '\n');
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

std::string TrimRight(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// What the tree should show for a topology file in which no step fails.
struct ExpectedItem {
    int depth;
    std::string label;
    int image;
    std::string kind;
};

struct Expectation {
    std::vector<ExpectedItem> items;
    int hubs = 0;
    int otherDevices = 0;
    uint64_t portQueries = 0;
    uint64_t opens = 0;
};

class TreeModel {
public:
    TreeModel(const Json& topology, bool showUnusedPorts, bool showUnusedControllers)
        : topology_(topology), showUnusedPorts_(showUnusedPorts), showUnusedControllers_(showUnusedControllers)
    {
    }

    Expectation Build()
    {
        expected_.items.push_back({0, "My Computer", 0, ""});
        for (const Json& controller : topology_["controllers"]) {
            if (!controller.value("open", true))
                continue;
            ++expected_.opens;
            const size_t start = expected_.items.size();
            expected_.items.push_back({1, controller.value("description", "Host Controller"), 1, "Controller"});
            if (!controller.contains("root_hub") || controller["root_hub"].is_null())
                continue;
            const int devicesBefore = devices_;
            Hub(controller["root_hub"], 2, "RootHub");
            if (devices_ == devicesBefore && !showUnusedControllers_)
                expected_.items.resize(start);
        }
        expected_.otherDevices = devices_ - expected_.hubs;
        return expected_;
    }

private:
    std::string DriverDesc(const Json& port) const
    {
        if (!port.contains("driver_key") || port["driver_key"].is_null())
            return "";
        const std::string key = kClassKey + port["driver_key"].get<std::string>();
        if (!topology_.contains("registry") || !topology_["registry"].contains(key))
            return "";
        return topology_["registry"][key].value("DriverDesc", "");
    }

    void Hub(const Json& hub, int depth, const std::string& label, const std::string& kind = "RootHub")
    {
        ++expected_.opens;
        expected_.items.push_back({depth, label, 2, kind});
        const Json& ports = hub["ports"];
        const uint32_t count = hub.value("port_count", static_cast<uint32_t>(ports.size()));
        expected_.portQueries += count;
        for (uint32_t number = 1; number <= count; ++number) {
            Json port = Json::object();
            for (size_t i = 0; i < ports.size(); ++i)
                if (ports[i].value("port", static_cast<uint32_t>(i + 1)) == number)
                    port = ports[i];
            Port(port, number, depth + 1);
        }
    }

    void Port(const Json& port, uint32_t number, int depth)
    {
        const uint32_t status = port.value("status", port.contains("device_descriptor") ? 1u : 0u);
        const bool isHub = port.value("is_hub", false);
        if (status == 1)
            ++devices_;
        if (isHub)
            ++expected_.hubs;
        const std::string prefix = "[Port" + std::to_string(number) + "]";
        const std::string description = status == 0 ? "" : DriverDesc(port);
        if (isHub) {
            // A hub port without a hub has no name to open.
            if (port.contains("hub"))
                Hub(port["hub"], depth, TrimRight(prefix + " : " + description), "ExternalHub");
            return;
        }
        if (status == 0 && !showUnusedPorts_)
            return;
        const int image = status == 0 ? 3 : (port.value("config_value", 0) ? 4 : 5);
        expected_.items.push_back(
            {depth, description.empty() ? prefix : prefix + " : " + description, image, "PortDevice"});
    }

    const Json& topology_;
    const bool showUnusedPorts_;
    const bool showUnusedControllers_;
    Expectation expected_;
    int devices_ = 0;
};

void ExpectTreeMatches(const Json& output, const Expectation& expected)
{
    ASSERT_TRUE(output.contains("items"));
    const Json& items = output["items"];
    ASSERT_EQ(items.size(), expected.items.size()) << output.dump(2);
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i) + ": " + expected.items[i].label);
        EXPECT_EQ(items[i]["depth"], expected.items[i].depth);
        EXPECT_EQ(TrimRight(items[i]["label"].get<std::string>()), expected.items[i].label);
        EXPECT_EQ(items[i]["image"], expected.items[i].image);
        if (expected.items[i].kind.empty())
            EXPECT_TRUE(items[i]["kind"].is_null());
        else
            EXPECT_EQ(items[i]["kind"], expected.items[i].kind);
    }
    const std::string status = output["status"].get<std::string>();
    EXPECT_NE(status.find("Hubs: " + std::to_string(expected.hubs)), std::string::npos) << status;
    EXPECT_NE(status.find("Devices: " + std::to_string(expected.otherDevices)), std::string::npos) << status;
}

Json OfficeSample()
{
    return Json::parse(ReadFile(kOffice));
}

// Paths to every leaf of the document, for the mutations.
void CollectLeaves(const Json& value, const Json::json_pointer& at, std::vector<Json::json_pointer>* leaves)
{
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it)
            CollectLeaves(it.value(), at / it.key(), leaves);
    } else if (value.is_array()) {
        for (size_t i = 0; i < value.size(); ++i)
            CollectLeaves(value[i], at / i, leaves);
    } else {
        leaves->push_back(at);
    }
}

bool IsHexLeaf(const Json::json_pointer& at)
{
    const std::string path = at.to_string();
    for (const char* key : {"device_descriptor", "config_descriptors", "pipes", "raw_strings"})
        if (path.find(key) != std::string::npos)
            return true;
    return false;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char pair[4];
    for (uint8_t byte : bytes) {
        snprintf(pair, sizeof(pair), "%02x", byte);
        if (!text.empty())
            text += ' ';
        text += pair;
    }
    return text;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair)
        bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

}  // namespace

TEST_F(PortolanReport, UsageErrorsExitWithTwoAndOneLine)
{
    const std::vector<std::vector<std::string>> usages = {
        {},
        {"--json"},
        {"--verbose", kOffice},
        {"-x", kOffice},
        {kOffice, kOffice},
    };
    for (const auto& args : usages) {
        SCOPED_TRACE(::testing::PrintToString(args));
        Outcome run = Report(args);
        ExpectOneLineFailure(run);
        EXPECT_NE(run.err.find("usage"), std::string::npos) << run.err;
    }
}

TEST_F(PortolanReport, UnreadableFilesExitWithTwoAndNameTheFile)
{
    const std::string missing = Scratch("missing.json").string();
    const std::string directory = Scratch("").string();
    for (const std::string& path : {missing, directory}) {
        SCOPED_TRACE(path);
        Outcome run = Report({path});
        ExpectOneLineFailure(run);
        EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
    }
}

TEST_F(PortolanReport, BrokenFilesExitWithTwoAndNameThePlace)
{
    struct Case {
        std::string text;
        std::string place;
    };
    Json badDescriptor = OfficeSample();
    badDescriptor["controllers"][1]["root_hub"]["ports"][0]["device_descriptor"] = "12 01 00";
    Json badFail = OfficeSample();
    badFail["controllers"][0]["root_hub"]["ports"][2]["fail"] = Json::array({"config", "strings"});
    const Case cases[] = {
        {"", "topology.json"},
        {"{\"controllers\": [", "topology.json"},
        {"\x89PNG\r\n\x1a\n", "topology.json"},
        {badDescriptor.dump(), "controllers[1].root_hub.ports[0].device_descriptor"},
        {badFail.dump(), "controllers[0].root_hub.ports[2].fail[1]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.place);
        for (const auto& options : {std::vector<std::string>{}, std::vector<std::string>{"--json", "--stats"}}) {
            Outcome run = ReportFile(c.text, options);
            ExpectOneLineFailure(run);
            EXPECT_NE(run.err.find(Scratch("topology.json").string()), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(c.place), std::string::npos) << run.err;
        }
    }
}

TEST_F(PortolanReport, OfficeSampleTreeFollowsTheFile)
{
    const Json sample = OfficeSample();
    for (bool unusedPorts : {false, true}) {
        for (bool unusedControllers : {false, true}) {
            SCOPED_TRACE(std::string("unused ports ") + (unusedPorts ? "shown" : "hidden") + ", controllers " +
                         (unusedControllers ? "shown" : "hidden"));
            std::vector<std::string> args = {"--json"};
            if (unusedPorts)
                args.push_back("--show-unused-ports");
            if (unusedControllers)
                args.push_back("--show-unused-controllers");
            args.push_back(kOffice);
            Outcome run = Report(args);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_TRUE(run.err.empty()) << run.err;
            const Json output = Json::parse(run.out);
            ExpectTreeMatches(output, TreeModel(sample, unusedPorts, unusedControllers).Build());
            EXPECT_FALSE(output.contains("requests"));
        }
    }
}

TEST_F(PortolanReport, ControllerWithoutDevicesShowsOnlyWhenAsked)
{
    // The office PC with the second controller's ports all empty.
    Json sample = OfficeSample();
    ASSERT_GE(sample["controllers"].size(), 2u);
    for (Json& port : sample["controllers"][1]["root_hub"]["ports"])
        port = Json{{"port", port["port"]}, {"status", 0}};
    const std::string description = sample["controllers"][1]["description"];

    for (bool unusedControllers : {false, true}) {
        SCOPED_TRACE(unusedControllers ? "shown" : "hidden");
        Outcome run = ReportFile(sample.dump(),
                             unusedControllers ? std::vector<std::string>{"--json", "--show-unused-controllers"}
                                               : std::vector<std::string>{"--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Json output = Json::parse(run.out);
        ExpectTreeMatches(output, TreeModel(sample, false, unusedControllers).Build());
        bool listed = false;
        for (const Json& item : output["items"])
            listed = listed || item["label"] == description;
        EXPECT_EQ(listed, unusedControllers);
    }
}

TEST_F(PortolanReport, TextAndJsonShowTheSameTree)
{
    Outcome json = Report({"--json", "--show-unused-ports", kOffice});
    Outcome text = Report({"--show-unused-ports", kOffice});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const Json output = Json::parse(json.out);

    // The tree lines; the panel of each device follows its line.
    std::vector<std::string> lines;
    std::istringstream in(text.out);
    int panelLines = 0;
    for (std::string line; std::getline(in, line);) {
        const std::string content = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        bool panel = false;
        for (const char* field : {"Hersteller: ", "Produkt: ", "PnP-Instanz: ", "Konfigurationen: ", "Datenrate: ",
                                  "Transfertypen: ", "=> Thema "})
            panel = panel || content.rfind(field, 0) == 0;
        if (panel)
            ++panelLines;
        else
            lines.push_back(line);
    }
    const Json& items = output["items"];
    ASSERT_EQ(lines.size(), items.size() + 1) << text.out;
    int devices = 0;
    for (const Json& item : items)
        devices += item["panel"]["vendor_id"] != "" ? 1 : 0;
    EXPECT_EQ(panelLines, devices * 7);
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string shown = std::string(items[i]["depth"].get<size_t>() * 2, ' ') +
                                  items[i]["label"].get<std::string>() + " [" +
                                  std::to_string(items[i]["image"].get<int>()) + "]";
        EXPECT_EQ(lines[i], shown);
    }
    EXPECT_EQ(lines.back(), "Status: " + output["status"].get<std::string>());
}

TEST_F(PortolanReport, StatsCountTheRequestsTheScanMade)
{
    const Json sample = OfficeSample();
    const Expectation expected = TreeModel(sample, false, false).Build();

    Outcome run = Report({"--json", "--stats", kOffice});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json output = Json::parse(run.out);
    ExpectTreeMatches(output, expected);
    ASSERT_TRUE(output.contains("requests"));
    const Json& requests = output["requests"];
    // One newer-form connection query per port of every hub opened.
    EXPECT_EQ(requests["ioctl"].value("0x220448", 0u), expected.portQueries);
    EXPECT_EQ(requests["open"].get<uint64_t>(), expected.opens);
    EXPECT_GT(requests["registry"].get<uint64_t>(), 0u);
    for (auto it = requests["ioctl"].begin(); it != requests["ioctl"].end(); ++it) {
        EXPECT_EQ(it.key().size(), 8u) << it.key();
        EXPECT_EQ(it.key().rfind("0x", 0), 0u) << it.key();
    }

    Outcome text = Report({"--stats", kOffice});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const size_t status = text.out.find("\nStatus: ");
    const size_t requestsAt = text.out.find("\nRequests:\n");
    ASSERT_NE(status, std::string::npos) << text.out;
    ASSERT_NE(requestsAt, std::string::npos) << text.out;
    EXPECT_LT(status, requestsAt);
    EXPECT_NE(text.out.find("0x220448: " + std::to_string(expected.portQueries) + "\n"), std::string::npos)
        << text.out;

    Outcome plain = Report({kOffice});
    EXPECT_EQ(plain.out.find("Requests:"), std::string::npos) << plain.out;
}

TEST_F(PortolanReport, EverySampleRuns)
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator(kSamples)) {
        if (entry.path().extension() != ".json")
            continue;
        SCOPED_TRACE(entry.path().string());
        Outcome run = Report({"--json", "--stats", "--show-unused-ports", "--show-unused-controllers",
                          entry.path().string()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NO_THROW(Json::parse(run.out));
        ++count;
    }
    EXPECT_GT(count, 0);
}

TEST_F(PortolanReport, DamagedDescriptorsAndCountsNeverCrashTheScan)
{
    const Json sample = OfficeSample();
    std::vector<Json::json_pointer> leaves;
    CollectLeaves(sample, Json::json_pointer(), &leaves);
    std::vector<Json::json_pointer> hexLeaves;
    std::vector<Json::json_pointer> numberLeaves;
    for (const auto& leaf : leaves) {
        if (sample[leaf].is_string() && IsHexLeaf(leaf))
            hexLeaves.push_back(leaf);
        else if (sample[leaf].is_number_unsigned())
            numberLeaves.push_back(leaf);
    }
    ASSERT_FALSE(hexLeaves.empty());
    ASSERT_FALSE(numberLeaves.empty());

    std::mt19937 random(4711);
    int scanned = 0;
    for (int round = 0; round < 60; ++round) {
        Json damaged = sample;
        for (int edits = 1 + static_cast<int>(random() % 6); edits > 0; --edits) {
            if (random() % 3) {
                const auto& leaf = hexLeaves[random() % hexLeaves.size()];
                std::vector<uint8_t> bytes = Bytes(damaged[leaf].get<std::string>());
                if (bytes.empty())
                    continue;
                const bool fixedLength = leaf.to_string().find("device_descriptor") != std::string::npos ||
                                         leaf.to_string().find("pipes") != std::string::npos;
                if (!fixedLength && random() % 4 == 0)
                    bytes.resize(random() % bytes.size());
                else
                    bytes[random() % bytes.size()] = static_cast<uint8_t>(random() % 4 ? random() & 0xFF : 0);
                damaged[leaf] = Hex(bytes);
            } else {
                const auto& leaf = numberLeaves[random() % numberLeaves.size()];
                const std::string key = leaf.back();
                const uint64_t limit = key == "address" ? 65536 : (key == "port" || key == "port_count") ? 300 : 256;
                damaged[leaf] = random() % limit;
            }
        }
        // Ports renumbered onto each other are a format error; take such rounds as they come.
        Outcome run = ReportFile(damaged.dump(), {"--json", "--stats", "--show-unused-ports", "--show-unused-controllers"});
        ASSERT_FALSE(run.signalled) << "round " << round << "\n" << damaged.dump();
        ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 2) << "round " << round << ": " << run.err;
        if (run.exitCode == 0) {
            EXPECT_NO_THROW(Json::parse(run.out)) << "round " << round;
            ++scanned;
        } else {
            ExpectOneLineFailure(run);
        }
    }
    EXPECT_GT(scanned, 40);
}

TEST_F(PortolanReport, JsonItemsCarryInstanceConfigurationStringsAndPanel)
{
    const std::string topology = R"({
      "controllers": [{"description": "HC", "root_hub": {"name": "ROOT", "ports": [
        {"status": 1, "speed": 2, "config_value": 1,
         "device_descriptor": "12 01 00 02 00 00 00 40 81 07 67 55 00 01 01 02 03 01",
         "config_descriptors": ["09 02 20 00 01 01 00 80 32 09 04 00 00 02 08 06 50 00 07 05 81 02 00 02 00 07 05 02 02 00 02 00"],
         "languages": ["0409", "0407"],
         "strings": {"1": {"0409": "SanDisk", "0407": "SanDisk AG"}, "2": {"0409": "Cruzer", "0407": "Cruzer"},
                     "3": {"0409": "4C53", "0407": "4C53"}},
         "driver_key": "{36fc9e60-c465-11cf-8056-444553540000}\\0004"}]}}],
      "registry": {
        "System\\CurrentControlSet\\Control\\Class\\{36fc9e60-c465-11cf-8056-444553540000}\\0004": {"DriverDesc": "USB-Massenspeichergerät"},
        "System\\CurrentControlSet\\Enum\\USB\\VID_0781&PID_5567\\4C53": {"Driver": "{36fc9e60-c465-11cf-8056-444553540000}\\0004"}}})";
    const Outcome run = ReportFile(topology, {"--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json items = Json::parse(run.out)["items"];
    ASSERT_EQ(items.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(items[i]["pnp_instance"].is_null());
        EXPECT_TRUE(items[i]["config_total_length"].is_null());
        EXPECT_TRUE(items[i]["strings"].empty());
        EXPECT_EQ(items[i]["panel"]["topic"], 100);
        EXPECT_EQ(items[i]["panel"]["vendor_id"], "");
    }
    const Json& stick = items[3];
    EXPECT_EQ(stick["label"], "[Port1] : USB-Massenspeichergerät");
    EXPECT_EQ(stick["pnp_instance"], "USB\\VID_0781&PID_5567\\4C53");
    EXPECT_EQ(stick["config_total_length"], 32);
    const Json expectedStrings = Json::parse(R"([
      {"index": 0, "language": "0000", "text": "0409 0407"},
      {"index": 1, "language": "0409", "text": "SanDisk"}, {"index": 1, "language": "0407", "text": "SanDisk AG"},
      {"index": 2, "language": "0409", "text": "Cruzer"}, {"index": 2, "language": "0407", "text": "Cruzer"},
      {"index": 3, "language": "0409", "text": "4C53"}, {"index": 3, "language": "0407", "text": "4C53"}])");
    EXPECT_EQ(stick["strings"], expectedStrings);
    const Json expectedPanel = Json::parse(R"({"vendor_id": "0781", "vendor_name": "SanDisk AG", "product_id": "5567",
      "product_name": "Cruzer", "pnp_instance": "USB\\VID_0781&PID_5567\\4C53", "configurations": "1",
      "serial": "4C53", "speed": "High Speed", "bar": 4, "ctrl": true, "bulk": true, "intr": false, "isoc": false,
      "topic": 102})");
    EXPECT_EQ(stick["panel"], expectedPanel);

    const Outcome text = ReportFile(topology);
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Hersteller: 0781  SanDisk AG"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Transfertypen: CTRL BULK"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("=> Thema 102: Highspeed: Ja, Isochron: Nein"), std::string::npos) << text.out;
}
