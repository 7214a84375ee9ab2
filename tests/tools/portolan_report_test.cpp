#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_command.h"

namespace {

using namespace testing_command;
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
        {{"--json", "--stats"}, "{\"controllers\": [", "topology.json: "},
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
    // A device's panel below its line, the advice topic last.
    EXPECT_NE(run.out.find(R"(        [Port3] : USB-Verbundgerät [4]
            Hersteller: 1395  Sennheiser Communications
            Produkt: 0025  Sennheiser PC 8 USB
            PnP-Instanz: USB\VID_1395&PID_0025\6&1f2e9c7b&0&3
            Konfigurationen: 1   Seriennr.: 
            Datenrate: Full Speed (2/4)
            Transfertypen: CTRL INTR ISOC
            => Thema 103: Highspeed: Nein, Isochron: Ja
)"), std::string::npos) << run.out;

}
