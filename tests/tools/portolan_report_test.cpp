#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
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
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

}  // namespace

TEST_F(PortolanReport, BadCallsAndBadFilesExitWithTwoAndOneLine)
{
    const std::string missing = Scratch("missing.json").string();
    const struct {
        std::vector<std::string> args;
        std::string text;  // written to topology.json, which is then the last argument
        std::string expected;
    } cases[] = {
        {{}, "", "usage"},
        {{"--json"}, "", "usage"},
        {{"-x", kOffice}, "", "usage"},
        {{kOffice, kOffice}, "", "usage"},
        {{missing}, "", missing},
        {{Scratch("").string()}, "", Scratch("").string()},
        {{}, "\x89PNG\r\n", "topology.json: "},
        {{"--json", "--stats"}, "{\"controllers\": [", "topology.json: "},
        {{}, R"({"controllers": [{"root_hub": {"name": "R", "ports": [{"fail": ["config", "strings"]}]}}]})",
         "controllers[0].root_hub.ports[0].fail[1]: "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (!c.text.empty()) {
            WriteFile(Scratch("topology.json"), c.text);
            args.push_back(Scratch("topology.json").string());
        }
        SCOPED_TRACE(::testing::PrintToString(args));
        const Outcome run = Report(args);
        ExpectOneLineFailure(run);
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    }
}

TEST_F(PortolanReport, OfficeSampleShowsItsTreeAndCountsItsRequests)
{
    const Outcome run = Report({"--stats", kOffice});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string tree;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);)
        if (line.find(": ") == std::string::npos || line.find("[Port") != std::string::npos)
            tree += line + "\n";
    EXPECT_EQ(tree, R"(My Computer [0]
  Intel(R) USB 3.0 eXtensible-Hostcontroller - 1.0 (Microsoft) [1]
    RootHub [2]
      [Port1] : Generischer USB-Hub [2]
        [Port1] : USB-Verbundgerät [4]
        [Port2] : USB-Eingabegerät [4]
        [Port3] : USB-Verbundgerät [4]
      [Port2] : USB-Massenspeichergerät [4]
      [Port3] : USB-Verbundgerät [4]
  Standard erweiterter PCI-zu-USB-Hostcontroller [1]
    RootHub [2]
      [Port1] : Generischer USB-Hub [2]
Requests:
)");
    EXPECT_NE(run.out.find("\nStatus: Connected Hubs: 2   Other Devices: 5\nRequests:\n"), std::string::npos);
    // Eight root-hub ports, two of them hubs with four and six: one connection query each.
    EXPECT_NE(run.out.find("  ioctl 0x220448: 20\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  open: 6\n"), std::string::npos) << run.out;
    EXPECT_EQ(Report({kOffice}).out.find("Requests:"), std::string::npos);

    const Outcome all = Report({"--json", "--show-unused-ports", "--show-unused-controllers", kOffice});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    const Json items = Json::parse(all.out)["items"];
    int unused = 0;
    for (const Json& item : items)
        unused += item["image"].get<int>() == 3 ? 1 : 0;
    EXPECT_EQ(unused, 13) << "5 + 1 empty ports on the first controller, 6 + 1 on the second";
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
