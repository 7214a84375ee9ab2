// The 32-bit build's hand-over to the 64-bit build under WOW64.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/wow64_handover.h"

namespace {

class FakeProcess : public ProcessPlatform {
public:
    void* LoadLibraryByName(const char* name) override
    {
        log.push_back(std::string("load ") + name);
        return hasKernel ? this : nullptr;
    }
    void* FindProcedure(void*, const char* name) override
    {
        log.push_back(std::string("find ") + name);
        return hasIsWow64 ? this : nullptr;
    }
    bool CallIsWow64Process(void*, int* wow64) override
    {
        log.push_back("call");
        *wow64 = underWow64;
        return callSucceeds;
    }
    void FreeLibraryModule(void*) override { log.push_back("free"); }
    intptr_t ShellOpen(const char* file, const char* parameters) override
    {
        log.push_back(std::string("open ") + file + " [" + parameters + "]");
        return shellResult;
    }

    bool hasKernel = true;
    bool hasIsWow64 = true;
    bool callSucceeds = true;
    int underWow64 = 1;
    intptr_t shellResult = 42;
    std::vector<std::string> log;
};

class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override { ActiveProcess = &process_; }
    void TearDown() override { ActiveProcess = nullptr; }
    FakeProcess process_;
};

}  // namespace

TEST_F(HandOverTest, UnderWow64TheSixtyFourBitBuildStartsWithTheSameCommandLine)
{
    EXPECT_EQ(IsRunningUnderWow64(), 1);
    process_.log.clear();
    EXPECT_TRUE(HandOverTo64BitBuild("-x \"a b\""));
    EXPECT_EQ(process_.log, (std::vector<std::string>{"load kernel32.dll", "find IsWow64Process", "call", "free",
                                                      "open .\\x64\\Portolan.exe [-x \"a b\"]"}));
}

TEST_F(HandOverTest, ShellResultOf32OrLessKeepsTheThirtyTwoBitBuild)
{
    process_.shellResult = 33;
    EXPECT_TRUE(HandOverTo64BitBuild(""));
    process_.shellResult = 32;
    EXPECT_FALSE(HandOverTo64BitBuild(""));
    process_.shellResult = 2;   // file not found
    EXPECT_FALSE(HandOverTo64BitBuild(""));
}

TEST_F(HandOverTest, NotUnderWow64NothingIsStarted)
{
    process_.underWow64 = 0;
    EXPECT_FALSE(HandOverTo64BitBuild(""));
    EXPECT_EQ(process_.log.back(), "free");
}

TEST_F(HandOverTest, MissingOrFailingIsWow64ProcessMeansNoWow64)
{
    process_.hasIsWow64 = false;
    EXPECT_EQ(IsRunningUnderWow64(), 0);
    EXPECT_EQ(process_.log, (std::vector<std::string>{"load kernel32.dll", "find IsWow64Process", "free"}));
    process_.hasIsWow64 = true;
    process_.callSucceeds = false;
    EXPECT_EQ(IsRunningUnderWow64(), 0);
    process_.hasKernel = false;
    process_.callSucceeds = true;
    EXPECT_EQ(IsRunningUnderWow64(), 0);
    EXPECT_FALSE(HandOverTo64BitBuild(""));
}
