// The advice window: which topics reach the HTML Help control, the window
// type it defines, and the one-time binding to the control.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/advice_window.h"
#include "app/html_help_records.h"
#include "sim/sim_registry.h"
#include "sim/sim_session.h"

namespace {

constexpr char kControlKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
WindowRef const kMain = kRecordedMainWindow;
WindowRef const kDesktop = kRecordedDesktop;

class AdviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_ = std::make_unique<SimSession>(SimTopology{});
    }
    void TearDown() override { EXPECT_EQ(session_->Registry().OpenKeys(), 0u); }
    void RegisterControl(const std::string& path)
    {
        SimRegistryPath(session_->Topology().classesRoot, kControlKey).values[""] = SimTextValue(path);
    }

    RecordingHelp& Help() { return session_->Help(); }

    std::unique_ptr<SimSession> session_;
};

}  // namespace

TEST_F(AdviceTest, TopicDefinesTheWindowTypeBesideTheMainWindowAndShowsTheTopic)
{
    ShowAdviceTopic(kMain, 100);
    ASSERT_EQ(Help().calls.size(), 2u);
    const auto& type = Help().calls[0];
    EXPECT_EQ(type.caller, kDesktop);
    EXPECT_EQ(type.file, "Portolan.chm>NewWindow");
    EXPECT_EQ(type.command, HH_SET_WIN_TYPE);
    EXPECT_EQ(type.type, "NewWindow size " + std::to_string(sizeof(HH_WINTYPE)) +
                             " unicode 0 valid 310 properties 0 toolbar 0 styles 0 not expanded 1");
    EXPECT_EQ(type.caption, Help().caption);
    EXPECT_EQ(type.rect.left, 565);
    EXPECT_EQ(type.rect.top, 50);
    EXPECT_EQ(type.rect.right, 1820);
    EXPECT_EQ(type.rect.bottom, 700);
    const auto& show = Help().calls[1];
    EXPECT_EQ(show.caller, nullptr);
    EXPECT_EQ(show.file, "Portolan.chm>NewWindow");
    EXPECT_EQ(show.command, HH_HELP_CONTEXT);
    EXPECT_EQ(show.data, 100u);
    EXPECT_EQ(Help().log.front(), "temp");
    EXPECT_EQ(Help().log.back(), "front main");
    EXPECT_EQ(LastAdviceTopic, 100);
}

TEST_F(AdviceTest, RepeatedTopicDoesNothingEvenAfterTheWindowMoved)
{
    ShowAdviceTopic(kMain, 102);
    Help().mainRect = {300, 80, 760, 730};
    Help().calls.clear();
    ShowAdviceTopic(kMain, 102);
    EXPECT_TRUE(Help().calls.empty());
    ShowAdviceTopic(kMain, 104);
    ASSERT_EQ(Help().calls.size(), 2u);
    EXPECT_EQ(Help().calls[0].rect.left, 765);
    EXPECT_EQ(Help().calls[1].data, 104u);
}

TEST_F(AdviceTest, NegativeTopicClosesAllAndIsRecorded)
{
    ShowAdviceTopic(kMain, 100);
    Help().calls.clear();
    ShowAdviceTopic(kMain, -1);
    ASSERT_EQ(Help().calls.size(), 1u);
    EXPECT_EQ(Help().calls[0].command, HH_CLOSE_ALL);
    EXPECT_EQ(Help().calls[0].caller, nullptr);
    EXPECT_EQ(Help().calls[0].file, "(null)");
    EXPECT_EQ(Help().calls[0].data, 0u);
    EXPECT_EQ(LastAdviceTopic, -1);
    ShowAdviceTopic(kMain, -1);
    EXPECT_EQ(Help().calls.size(), 2u) << "closing is not suppressed as a repeat";
    ShowAdviceTopic(kMain, 100);
    EXPECT_EQ(Help().calls.back().data, 100u) << "switching on again shows topic 100";
}

TEST_F(AdviceTest, RectangleWithoutPositiveWidthIsHandedOverAsComputed)
{
    Help().mainRect = {900, 10, 1815, 600};
    ShowAdviceTopic(kMain, 101);
    EXPECT_EQ(Help().calls[0].rect.left, 1820);
    EXPECT_EQ(Help().calls[0].rect.right, 1820);
    Help().mainRect = {900, 10, 1900, 600};
    ShowAdviceTopic(kMain, 103);
    EXPECT_EQ(Help().calls[2].rect.left, 1905);
    EXPECT_EQ(Help().calls[2].rect.right, 1820);
}

TEST_F(AdviceTest, CaptionIsCutTo99Characters)
{
    Help().caption = std::string(150, 'c');
    ShowAdviceTopic(kMain, 100);
    EXPECT_EQ(Help().calls[0].caption, std::string(99, 'c'));
}

// The registered path first, then the system folder; once the control or
// its entry point is missing, nothing is tried again, yet topics are noted.
TEST_F(AdviceTest, BindingIsTriedOnceRegisteredPathFirst)
{
    using Log = std::vector<std::string>;
    const std::string registered = "C:\\Windows\\System32\\hhctrl.ocx";
    const struct {
        const char* what;
        bool registers;
        std::set<std::string> loadable;
        bool hasEntry;
        Log binding;
        size_t calls;
    } cases[] = {
        {"registered path fails", true, {"system hhctrl.ocx"}, true,
         {"load " + registered, "load system hhctrl.ocx", "ordinal 14"}, 4},
        {"registered path loads", true, {registered}, true, {"load " + registered, "ordinal 14"}, 4},
        {"no control", false, {}, true, {"load system hhctrl.ocx"}, 0},
        {"no entry point", false, {"system hhctrl.ocx"}, false, {"load system hhctrl.ocx", "ordinal 14"}, 0},
    };
    for (const auto& c : cases) {
        ResetAdviceWindowState();
        Help() = RecordingHelp();
        if (c.registers)
            RegisterControl(registered);
        Help().loadable = c.loadable;
        Help().hasEntry = c.hasEntry;
        ShowAdviceTopic(kMain, 100);
        ShowAdviceTopic(kMain, 101);
        EXPECT_EQ(CallHtmlHelp(nullptr, kHelpFile, HH_HELP_CONTEXT, 100) != nullptr, c.calls > 0) << c.what;
        Log binding;
        for (const auto& entry : Help().log)
            if (entry.rfind("load ", 0) == 0 || entry.rfind("ordinal", 0) == 0)
                binding.push_back(entry);
        EXPECT_EQ(binding, c.binding) << c.what;
        EXPECT_EQ(Help().calls.size(), c.calls + (c.calls ? 1 : 0)) << c.what;
        EXPECT_EQ(LastAdviceTopic, 101) << c.what;
        SimRegistryPath(session_->Topology().classesRoot, kControlKey).values.clear();
    }
}

TEST_F(AdviceTest, ControlPathIsTheDefaultValueOfTheRegisteredServer)
{
    char path[260] = {};
    EXPECT_EQ(GetHtmlHelpControlPath(path), 0);
    RegisterControl("%SystemRoot%\\System32\\hhctrl.ocx");
    EXPECT_EQ(GetHtmlHelpControlPath(path), 1);
    EXPECT_EQ(session_->Registry().LastOpenAccess(), 0x20019u) << "RegOpenKeyExA with KEY_READ";
    EXPECT_STREQ(path, "%SystemRoot%\\System32\\hhctrl.ocx");
    RegisterControl(std::string(260, 'p'));
    EXPECT_EQ(GetHtmlHelpControlPath(path), 0) << "a path that does not fit is not read";
}
