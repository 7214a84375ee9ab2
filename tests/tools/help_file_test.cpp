// Builds Portolan.chm with scripts/build-help.sh and reads the compiled file
// back with tools/chm_contents.py: pages, default page, window type, table
// of contents, context map and the verdicts on the device pages.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/run_command.h"

namespace {

using namespace testing_command;
using Json = nlohmann::json;
namespace fs = std::filesystem;

const fs::path kRepo = PORTOLAN_SOURCE_DIR;

// One build of the help file per test process, shared by its tests.
class HelpFile : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = fs::temp_directory_path() / ("portolan-help-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        chm_ = dir_ / "Portolan.chm";
        build_ = Build(chm_, "first-build-folder");
        if (build_.exitCode != 0)
            return;
        const Outcome read = Checker({"--json"});
        if (read.exitCode == 0)
            contents_ = Json::parse(read.out, nullptr, false);
        checkerErr_ = read.err;
        support_ = RunCommand("/usr/bin/python3 " + Quoted((kRepo / "tools/support_contact.py").string()) + " html",
                              dir_ / "support.err")
                       .out;
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    void SetUp() override
    {
        ASSERT_EQ(build_.exitCode, 0) << build_.out << build_.err;
        ASSERT_TRUE(contents_.is_object()) << "tools/chm_contents.py --json failed: " << checkerErr_;
    }

    // Compiles the help file with its build folder inside dir_/folderName.
    static Outcome Build(const fs::path& out, const std::string& folderName)
    {
        fs::create_directories(dir_ / folderName);
        return RunCommand("TMPDIR=" + Quoted((dir_ / folderName).string()) + " bash " +
                              Quoted((kRepo / "scripts/build-help.sh").string()) + " " + Quoted(out.string()),
                          dir_ / (folderName + ".err"));
    }

    static Outcome Checker(const std::vector<std::string>& args)
    {
        std::string command = "/usr/bin/python3 " + Quoted((kRepo / "tools/chm_contents.py").string());
        for (const auto& arg : args)
            command += " " + Quoted(arg);
        return RunCommand(command + " " + Quoted(chm_.string()), dir_ / "checker.err");
    }

    // One file of the compiled help, decompressed by the checker.
    static std::string Extract(const std::string& name)
    {
        const Outcome run = Checker({"--extract", name});
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.err;
        return run.out;
    }

    static inline fs::path dir_;
    static inline fs::path chm_;
    static inline Outcome build_;
    static inline Json contents_;
    static inline std::string checkerErr_;
    static inline std::string support_;  // the support sentence, with its line end
};

const std::vector<std::string> kPages = {"t100.html", "t101.html", "t102.html", "t103.html", "t104.html"};
const std::vector<std::string> kDeviceTitles = {"Highspeed: Nein, Isochron: Nein", "Highspeed: Ja, Isochron: Nein",
                                                "Highspeed: Nein, Isochron: Ja", "Highspeed: Ja, Isochron: Ja"};

TEST_F(HelpFile, OpensOnTheNoDevicePageInTheWindowTypeFenster)
{
    const Json& system = contents_["system"];
    EXPECT_EQ(system["default_topic"], "t100.html");
    EXPECT_EQ(system["lcid"], 0x0407);
    EXPECT_EQ(system["contents_file"], "portolan.hhc");
    EXPECT_EQ(system["default_window"], "Fenster");
    EXPECT_FALSE(system.value("title", "").empty());
    const std::string page = Extract("t100.html");
    EXPECT_NE(page.find("Bitte w&auml;hlen Sie ein USB-Ger&auml;t aus"), std::string::npos);
    ASSERT_EQ(contents_["windows"].size(), 1u);
    const Json& window = contents_["windows"][0];
    EXPECT_EQ(window["name"], "Fenster");
    EXPECT_EQ(window["caption"], "USB-Kompatibilit\u00e4tscheck");
    EXPECT_EQ(window["toc"], "portolan.hhc");
    EXPECT_EQ(window["home"], "t100.html");
}

TEST_F(HelpFile, ContentsHaveOneBookWithTheFourDevicePages)
{
    const Json& toc = contents_["toc"];
    ASSERT_EQ(toc.size(), 1u) << toc.dump();
    const Json& book = toc[0];
    EXPECT_EQ(book["name"], "Eigenschaften Ihres USB-Ger\u00e4ts");
    EXPECT_TRUE(book["local"].is_null());
    ASSERT_EQ(book["children"].size(), 4u) << book.dump();
    for (size_t i = 0; i < 4; ++i) {
        const Json& entry = book["children"][i];
        EXPECT_EQ(entry["name"], kDeviceTitles[i]);
        EXPECT_EQ(entry["local"], kPages[i + 1]);
        EXPECT_TRUE(entry["children"].empty());
        EXPECT_EQ(contents_["page_titles"][kPages[i + 1]], kDeviceTitles[i]) << "title of " << kPages[i + 1];
    }
}

// Each device page states its data rate and transfer types in the panel's
// words, without a verdict's colour, marks the products without high speed
// on the high-speed pages, those without isochronous transfers on the
// isochronous ones, as unsuitable, and sends the customer to support as
// res/support_contact.txt says.
TEST_F(HelpFile, DevicePagesStateThePropertiesAndFlagTheUnfitProducts)
{
    const struct {
        const char* name;
        bool highSpeed, isochronous;
    } products[] = {
        {"Kestrel NetHub&nbsp;2", false, false},          {"Kestrel NetHub&nbsp;4&nbsp;HS", true, false},
        {"Kestrel Isolator&nbsp;FS", false, true},        {"Kestrel Isolator&nbsp;HS", true, true},
        {"Kestrel Extender&nbsp;100&nbsp;HS", true, true},
    };
    for (int topic = 101; topic <= 104; ++topic) {
        const bool highSpeed = topic == 102 || topic == 104;
        const bool isochronous = topic == 103 || topic == 104;
        const std::string page = Extract(kPages[topic - 100]);
        const std::string speed = highSpeed ? "High Speed" : isochronous ? "Full Speed" : "Low Speed oder Full Speed";
        EXPECT_NE(page.find("<th>Datenrate</th><td><span class=\"value\">" + speed + "<"), std::string::npos) << topic;
        EXPECT_NE(page.find(std::string("<th>Transfertypen</th><td><span class=\"value\">") +
                            (isochronous ? "mit ISOC<" : "ohne ISOC<")),
                  std::string::npos) << "topic " << topic;
        for (const auto& product : products) {
            const bool fits = (product.highSpeed || !highSpeed) && (product.isochronous || !isochronous);
            const std::string row = std::string("<tr class=\"") + (fits ? "suitable" : "unsuitable") + "\"><td><b>" +
                                    product.name + "</b>";
            EXPECT_NE(page.find(row), std::string::npos) << product.name << " on topic " << topic;
        }
        EXPECT_NE(page.find("<p>" + support_), std::string::npos) << "topic " << topic;
        EXPECT_EQ(page.find("@SUPPORT@"), std::string::npos) << "topic " << topic;
    }
}

// Through chmlib, a reader independent of the compiler: every page comes
// out as prepared for compiling, the context map takes 100 to 104 to the five pages, and
// neither the file nor any file in it names the folder or machine it was
// built on.
TEST_F(HelpFile, PagesAndContextMapAsWrittenAndNoTraceOfTheBuildMachine)
{
    const fs::path prepared = dir_ / "prepared";
    ASSERT_EQ(RunCommand("bash " + Quoted((kRepo / "scripts/build-help.sh").string()) + " --sources " +
                             Quoted(prepared.string()),
                         dir_ / "prepared.err")
                  .exitCode,
              0);
    for (const auto& page : kPages)
        EXPECT_TRUE(Extract(page) == ReadFile(prepared / page)) << page;
    EXPECT_TRUE(Extract("help.css") == ReadFile(kRepo / "res/help/help.css"));
    Json contextMap = Json::object();
    for (size_t i = 0; i < kPages.size(); ++i)
        contextMap[std::to_string(100 + i)] = kPages[i];
    EXPECT_EQ(contents_["context_map"], contextMap);

    std::vector<std::pair<std::string, std::string>> files = {{"Portolan.chm", ReadFile(chm_)}};
    for (const Json& file : contents_["files"])
        files.emplace_back(file["name"], Extract(file["name"]));
    for (const auto& [name, data] : files)
        for (const char* trace : {"first-build-folder", "portolan-help.", "/tmp/", "/home/", "/root/"})
            EXPECT_EQ(data.find(trace), std::string::npos) << name << " holds " << trace;
}

} // namespace
