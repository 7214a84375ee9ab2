// The report file's text: its header, its bytes on disk, the name of the
// Windows version and the conversion of the tree's texts to UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "app/report_text.h"
#include "sim/sim_session.h"
#include "sim/topology_loader.h"
#include "tree/topology_scan.h"

TEST(ReportText, HeaderStatesTimeVersionWindowsAndProgram)
{
    ReportFacts facts;
    facts.created = "09.12.2026 14:03:11";
    facts.windows = "Windows 11 (10.0.22631)";
    facts.windows64 = true;
    facts.programBits = 32;
    EXPECT_EQ(ReportHeader(facts), "Portolan-Bericht\n"
                                   "Erstellt: 09.12.2026 14:03:11\n"
                                   "Portolan-Version: 1.0.0\n"
                                   "Windows: Windows 11 (10.0.22631), 64 Bit\n"
                                   "Berichtsprogramm: 32 Bit\n\n");
    facts.windows64 = false;
    facts.programBits = 64;
    const std::string header = ReportHeader(facts);
    EXPECT_NE(header.find("Windows: Windows 11 (10.0.22631), 32 Bit\nBerichtsprogramm: 64 Bit\n"), std::string::npos);
}

TEST(ReportText, FileBytesHaveByteOrderMarkAndCrlfOnly)
{
    EXPECT_EQ(ReportFileBytes("a\nb\n\nc"), "\xEF\xBB\xBF" "a\r\nb\r\n\r\nc");
    EXPECT_EQ(ReportFileBytes(""), "\xEF\xBB\xBF");
}

TEST(ReportText, WindowsNameFollowsTheBuildNumber)
{
    EXPECT_EQ(WindowsName(10, 0, 19045), "Windows 10 (10.0.19045)");
    EXPECT_EQ(WindowsName(10, 0, 21999), "Windows 10 (10.0.21999)");
    EXPECT_EQ(WindowsName(10, 0, 22000), "Windows 11 (10.0.22000)");
    EXPECT_EQ(WindowsName(6, 1, 7601), "Windows 7 (6.1.7601)");
    EXPECT_EQ(WindowsName(6, 3, 9600), "Windows 8.1 (6.3.9600)");
    EXPECT_EQ(WindowsName(6, 0, 6002), "Windows 6.0.6002");
}

TEST(ReportText, Utf16BecomesUtf8AndLoneSurrogatesTheReplacementCharacter)
{
    const std::u16string text = u"A\u00e4\u20ac\U0001F600\xD800x\xDC00";
    EXPECT_EQ(Utf8FromUtf16(text.data(), text.size()),
              "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(Utf8FromUtf16(text.data(), 4), "A\xC3\xA4\xE2\x82\xAC\xEF\xBF\xBD");  // a pair cut in half
}

// The body converts the tree's code page 1252 labels and panel texts.
TEST(ReportText, BodyShowsLabelsAndPanelsInUtf8)
{
    SimTopology topology;
    std::string error;
    ASSERT_TRUE(LoadTopologyFile(PORTOLAN_SOURCE_DIR "/samples/office-pc.json", &topology, &error)) << error;
    SimSession session(std::move(topology));
    RefreshTree();
    const std::string body = ReportBody(session.Tree(), session.Status().Text());
    EXPECT_NE(body.find("      [Port2] : USB-Massenspeicherger\xC3\xA4t [4]\n          Hersteller: "), std::string::npos)
        << body;
    EXPECT_EQ(body.substr(body.rfind("Status: ")), "Status: Connected Hubs: 2   Other Devices: 5\n");
    EXPECT_EQ(session.Leftovers(true), "");
}
