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
WindowRef const kMain = reinterpret_cast<WindowRef>(0x1234);
WindowRef const kDesktop = reinterpret_cast<WindowRef>(0x10010);

class FakeHelp : public HelpPlatform {
public:
    struct Call {
        WindowRef caller = nullptr;
        std::string file;
        unsigned command = 0;
        uintptr_t data = 0;
        // Copied from the record of HH_SET_WIN_TYPE.
        std::string type, caption;
        int cbStruct = 0, unicode = -1, notExpanded = -1;
        uint32_t valid = 0, properties = 0, toolbar = 0, styles = 0;
        ScreenRect rect{};
    };

    void EnterTempFolder() override { log.push_back("temp"); }
    void WindowCaption(WindowRef, char* text, int capacity) override
    {
        snprintf(text, static_cast<size_t>(capacity), "%s", caption.c_str());
    }
    ScreenRect WindowRect(WindowRef) override { return mainRect; }
    int FullScreenWidth() override { return screenWidth; }
    WindowRef DesktopWindow() override { return kDesktop; }
    void BringToForeground(WindowRef window) override { log.push_back(window == kMain ? "front main" : "front ?"); }
    void* LoadModule(const char* path) override { return Load(path); }
    void* LoadSystemModule(const char* name) override { return Load(std::string("system ") + name); }
    void* Load(const std::string& what)
    {
        log.push_back("load " + what);
        return loadable.count(what) ? this : nullptr;
    }
    void* FindOrdinal(void*, int ordinal) override
    {
        log.push_back("ordinal " + std::to_string(ordinal));
        return hasEntry ? this : nullptr;
    }
    WindowRef CallEntry(void*, WindowRef caller, const char* file, unsigned command, uintptr_t data) override
    {
        Call call;
        call.caller = caller;
        call.file = file ? file : "(null)";
        call.command = command;
        call.data = data;
        if (command == HH_SET_WIN_TYPE) {
            const auto* type = reinterpret_cast<const HH_WINTYPE*>(data);
            call.type = type->pszType;
            call.caption = type->pszCaption;
            call.cbStruct = type->cbStruct;
            call.unicode = type->fUniCodeStrings;
            call.valid = type->fsValidMembers;
            call.properties = type->fsWinProperties;
            call.toolbar = type->fsToolBarFlags;
            call.notExpanded = type->fNotExpanded;
            call.styles = type->dwStyles | type->dwExStyles;
            call.rect = {type->rcWindowPos.left, type->rcWindowPos.top, type->rcWindowPos.right,
                         type->rcWindowPos.bottom};
        }
        calls.push_back(call);
        log.push_back("call " + std::to_string(command));
        return kDesktop;
    }

    std::string caption = " USB-Kompatibilit\xE4tscheck";
    ScreenRect mainRect{100, 50, 560, 700};
    int screenWidth = 1920;
    // Registered paths, and "system NAME" for a module of the system folder.
    std::set<std::string> loadable = {"system hhctrl.ocx"};
    bool hasEntry = true;
    std::vector<Call> calls;
    std::vector<std::string> log;
};

class AdviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_ = std::make_unique<SimSession>(SimTopology{});
        ResetAdviceWindowState();
        ActiveHelp = &help_;
    }
    void TearDown() override
    {
        ActiveHelp = nullptr;
        ResetAdviceWindowState();
        EXPECT_EQ(session_->Registry().OpenKeys(), 0u);
    }
    void RegisterControl(const std::string& path)
    {
        SimRegistryPath(session_->Topology().classesRoot, kControlKey).values[""] = SimTextValue(path);
    }

    std::unique_ptr<SimSession> session_;
    FakeHelp help_;
};

}  // namespace

TEST_F(AdviceTest, TopicDefinesTheWindowTypeBesideTheMainWindowAndShowsTheTopic)
{
    ShowAdviceTopic(kMain, 100);
    ASSERT_EQ(help_.calls.size(), 2u);
    const auto& type = help_.calls[0];
    EXPECT_EQ(type.caller, kDesktop);
    EXPECT_EQ(type.file, "Portolan.chm");
    EXPECT_EQ(type.command, HH_SET_WIN_TYPE);
    EXPECT_EQ(type.type, "NewWindow");
    EXPECT_EQ(type.caption, help_.caption);
    EXPECT_EQ(type.cbStruct, static_cast<int>(sizeof(HH_WINTYPE)));
    EXPECT_EQ(type.unicode, 0);
    EXPECT_EQ(type.valid, 0x310u);
    EXPECT_EQ(type.properties, 0u);
    EXPECT_EQ(type.toolbar, 0u);
    EXPECT_EQ(type.styles, 0u);
    EXPECT_EQ(type.notExpanded, 1);
    EXPECT_EQ(type.rect.left, 565);
    EXPECT_EQ(type.rect.top, 50);
    EXPECT_EQ(type.rect.right, 1820);
    EXPECT_EQ(type.rect.bottom, 700);
    const auto& show = help_.calls[1];
    EXPECT_EQ(show.caller, nullptr);
    EXPECT_EQ(show.file, "Portolan.chm>NewWindow");
    EXPECT_EQ(show.command, HH_HELP_CONTEXT);
    EXPECT_EQ(show.data, 100u);
    EXPECT_EQ(help_.log.front(), "temp");
    EXPECT_EQ(help_.log.back(), "front main");
    EXPECT_EQ(LastAdviceTopic, 100);
}

TEST_F(AdviceTest, RepeatedTopicDoesNothingEvenAfterTheWindowMoved)
{
    ShowAdviceTopic(kMain, 102);
    help_.mainRect = {300, 80, 760, 730};
    help_.calls.clear();
    ShowAdviceTopic(kMain, 102);
    EXPECT_TRUE(help_.calls.empty());
    ShowAdviceTopic(kMain, 104);
    ASSERT_EQ(help_.calls.size(), 2u);
    EXPECT_EQ(help_.calls[0].rect.left, 765);
    EXPECT_EQ(help_.calls[1].data, 104u);
}

TEST_F(AdviceTest, NegativeTopicClosesAllAndIsRecorded)
{
    ShowAdviceTopic(kMain, 100);
    help_.calls.clear();
    ShowAdviceTopic(kMain, -1);
    ASSERT_EQ(help_.calls.size(), 1u);
    EXPECT_EQ(help_.calls[0].command, HH_CLOSE_ALL);
    EXPECT_EQ(help_.calls[0].caller, nullptr);
    EXPECT_EQ(help_.calls[0].file, "(null)");
    EXPECT_EQ(help_.calls[0].data, 0u);
    EXPECT_EQ(LastAdviceTopic, -1);
    ShowAdviceTopic(kMain, -1);
    EXPECT_EQ(help_.calls.size(), 2u) << "closing is not suppressed as a repeat";
    ShowAdviceTopic(kMain, 100);
    EXPECT_EQ(help_.calls.back().data, 100u) << "switching on again shows topic 100";
}

TEST_F(AdviceTest, RectangleWithoutPositiveWidthIsHandedOverAsComputed)
{
    help_.mainRect = {900, 10, 1815, 600};
    ShowAdviceTopic(kMain, 101);
    EXPECT_EQ(help_.calls[0].rect.left, 1820);
    EXPECT_EQ(help_.calls[0].rect.right, 1820);
    help_.mainRect = {900, 10, 1900, 600};
    ShowAdviceTopic(kMain, 103);
    EXPECT_EQ(help_.calls[2].rect.left, 1905);
    EXPECT_EQ(help_.calls[2].rect.right, 1820);
}

TEST_F(AdviceTest, CaptionIsCutTo99Characters)
{
    help_.caption = std::string(150, 'c');
    ShowAdviceTopic(kMain, 100);
    EXPECT_EQ(help_.calls[0].caption, std::string(99, 'c'));
}

TEST_F(AdviceTest, BindingTriesTheRegisteredPathThenTheSystemFolder)
{
    RegisterControl("C:\\Windows\\System32\\hhctrl.ocx");
    ShowAdviceTopic(kMain, 100);
    ShowAdviceTopic(kMain, 101);
    std::vector<std::string> loads;
    for (const auto& entry : help_.log)
        if (entry.rfind("load ", 0) == 0 || entry.rfind("ordinal", 0) == 0)
            loads.push_back(entry);
    EXPECT_EQ(loads, (std::vector<std::string>{"load C:\\Windows\\System32\\hhctrl.ocx", "load system hhctrl.ocx",
                                               "ordinal 14"}));
    EXPECT_EQ(help_.calls.size(), 4u);
}

TEST_F(AdviceTest, RegisteredPathThatLoadsIsUsedAlone)
{
    RegisterControl("C:\\Windows\\System32\\hhctrl.ocx");
    help_.loadable = {"C:\\Windows\\System32\\hhctrl.ocx"};
    ShowAdviceTopic(kMain, 100);
    EXPECT_EQ(help_.log[1], "load C:\\Windows\\System32\\hhctrl.ocx");
    EXPECT_EQ(help_.log[2], "ordinal 14");
    EXPECT_EQ(help_.calls.size(), 2u);
}

TEST_F(AdviceTest, WithoutTheControlNothingIsTriedAgainButTopicsAreRecorded)
{
    help_.loadable.clear();
    EXPECT_EQ(CallHtmlHelp(nullptr, kHelpFile, HH_HELP_CONTEXT, 100), nullptr);
    EXPECT_EQ(help_.log, (std::vector<std::string>{"load system hhctrl.ocx"}));
    help_.loadable = {"system hhctrl.ocx"};
    ShowAdviceTopic(kMain, 102);
    EXPECT_EQ(CallHtmlHelp(nullptr, kHelpFile, HH_HELP_CONTEXT, 100), nullptr);
    EXPECT_EQ(help_.log, (std::vector<std::string>{"load system hhctrl.ocx", "temp", "front main"}));
    EXPECT_TRUE(help_.calls.empty());
    EXPECT_EQ(LastAdviceTopic, 102);
}

TEST_F(AdviceTest, MissingEntryPointAlsoEndsEveryLaterAttempt)
{
    help_.hasEntry = false;
    ShowAdviceTopic(kMain, 100);
    ShowAdviceTopic(kMain, 101);
    int loads = 0, lookups = 0;
    for (const auto& entry : help_.log) {
        loads += entry.rfind("load ", 0) == 0;
        lookups += entry.rfind("ordinal", 0) == 0;
    }
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(lookups, 1);
    EXPECT_TRUE(help_.calls.empty());
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
