// The driver description and the Plug and Play instance ID read from the
// registry for a driver key name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/sim_session.h"
#include "tree/registry_lookup.h"
#include "usb/zeroed_alloc.h"

namespace {

constexpr char kClass[] = "System\\CurrentControlSet\\Control\\Class\\";
constexpr char kEnum[] = "System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kDriverKey[] = "{36fc9e60-c465-11cf-8056-444553540000}\\0012";

class RegistryLookupTest : public ::testing::Test {
protected:
    SimRegistryKey& Key(const std::string& path) { return SimRegistryPath(topology_.localMachine, path); }
    void Instance(const std::string& device, const std::string& instance, const std::string& driver)
    {
        Key(kEnum + device + "\\" + instance).values["Driver"] = SimTextValue(driver);
    }

    std::string Find(const char* driverKey)
    {
        SimSession session(std::move(topology_));
        char* id = FindPnpInstanceId(driverKey);
        std::string result = id ? id : "(null)";
        if (id)
            lastLength_ = session.Memory().LiveBytes();
        ReleaseBuffer(id);
        EXPECT_EQ(session.Registry().OpenKeys(), 0u) << "every key opened is closed";
        opens_ = session.Registry().Opens();
        return result;
    }

    std::string Describe(const char* driverKey, const char* before = "")
    {
        SimSession session(std::move(topology_));
        char description[kDriverDescBytes];
        memset(description, 0, sizeof(description));
        strcpy(description, before);
        ReadDriverDesc(driverKey, description);
        EXPECT_EQ(session.Registry().OpenKeys(), 0u) << "every key opened is closed";
        EXPECT_NE(memchr(description, 0, sizeof(description)), nullptr) << "description is terminated";
        return description;
    }

    SimTopology topology_;
    size_t lastLength_ = 0;
    uint64_t opens_ = 0;
};

}  // namespace

TEST_F(RegistryLookupTest, InstanceIdIsUsbDeviceKeyAndInstanceKey)
{
    Instance("VID_046D&PID_C52B", "5&2a3b&0&2", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "USB\\VID_046D&PID_C52B\\5&2a3b&0&2");
    EXPECT_EQ(lastLength_, strlen("USB\\VID_046D&PID_C52B\\5&2a3b&0&2") + 1);
}

TEST_F(RegistryLookupTest, DriverValueMatchesWithoutRegardToCase)
{
    Instance("VID_046D&PID_C52B", "1", "{36FC9E60-C465-11CF-8056-444553540000}\\0012");
    EXPECT_EQ(Find("{36fc9e60-c465-11cf-8056-444553540000}\\0012"), "USB\\VID_046D&PID_C52B\\1");
}

TEST_F(RegistryLookupTest, OnlyAsciiLettersFoldInTheComparison)
{
    Instance("A", "1", "{k}\\\xC4");   // Ä in code page 1252
    EXPECT_EQ(Find("{k}\\\xE4"), "(null)");
}

TEST_F(RegistryLookupTest, FirstMatchInEnumerationOrderWins)
{
    Instance("A", "1", "{other}\\0001");
    Instance("A", "2", kDriverKey);
    Instance("B", "1", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "USB\\A\\2");
}

TEST_F(RegistryLookupTest, FirstOfTwoMatchingInstancesOfOneDeviceKeyWins)
{
    Instance("A", "1", kDriverKey);
    Instance("A", "2", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "USB\\A\\1");
}

TEST_F(RegistryLookupTest, DeviceKeyThatCannotBeOpenedIsSkipped)
{
    Instance("A", "1", kDriverKey);
    Key(std::string(kEnum) + "A").openable = false;
    Instance("B", "7", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "USB\\B\\7");
}

TEST_F(RegistryLookupTest, InstanceThatCannotBeOpenedOrLacksDriverIsSkipped)
{
    Instance("A", "1", kDriverKey);
    Key(std::string(kEnum) + "A\\1").openable = false;
    Instance("A", "2", "{other}\\0001");
    Key(std::string(kEnum) + "A\\3");   // no "Driver" value
    Instance("A", "4", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "USB\\A\\4");
}

TEST_F(RegistryLookupTest, InstanceWithoutDriverDoesNotInheritThePreviousValue)
{
    Instance("A", "1", kDriverKey + std::string("x"));
    Key(std::string(kEnum) + "A\\2");
    EXPECT_EQ(Find(kDriverKey), "(null)");
}

TEST_F(RegistryLookupTest, DeviceKeyNameOf100CharactersEndsTheSearch)
{
    Instance(std::string(99, 'a'), "1", "{other}");
    Instance(std::string(99, 'b'), "1", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "USB\\" + std::string(99, 'b') + "\\1");

    Instance(std::string(100, 'a'), "1", "{other}");
    Instance("B", "1", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "(null)");
    // The USB key and nothing below it.
    EXPECT_EQ(opens_, 1u);
}

TEST_F(RegistryLookupTest, InstanceKeyNameOf100CharactersEndsOnlyThatDevice)
{
    Instance("A", std::string(100, 'i'), "{other}");
    Instance("A", "2", kDriverKey);
    Instance("B", "3", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "USB\\B\\3");
}

TEST_F(RegistryLookupTest, DriverValueThatDoesNotFitOrLacksTerminatorIsUnreadable)
{
    Key(std::string(kEnum) + "A\\1").values["Driver"] = SimTextValue(kDriverKey + std::string(300, ' '));
    std::string bare = kDriverKey;
    Key(std::string(kEnum) + "A\\2").values["Driver"] = SimRegistryValue(bare.begin(), bare.end());
    Instance("A", "3", kDriverKey);
    EXPECT_EQ(Find(kDriverKey), "USB\\A\\3");
    const std::string longest(299, 'k');  // 300 bytes with the terminator: still read
    Instance("B", "1", longest);
    EXPECT_EQ(Find(longest.c_str()), "USB\\B\\1");
}

TEST_F(RegistryLookupTest, MissingUsbKeyOrNoMatchYieldsNull)
{
    EXPECT_EQ(Find(kDriverKey), "(null)");
    Instance("A", "1", "{other}");
    EXPECT_EQ(Find(kDriverKey), "(null)");
}

TEST_F(RegistryLookupTest, FailedAllocationOfTheResultYieldsNull)
{
    Instance("A", "1", kDriverKey);
    SimSession session(std::move(topology_));
    session.Memory().FailAllocation(1);
    EXPECT_EQ(FindPnpInstanceId(kDriverKey), nullptr);
    EXPECT_EQ(session.Registry().OpenKeys(), 0u);
}

TEST_F(RegistryLookupTest, DriverDescriptionIsReadBelowTheClassKey)
{
    Key(kClass + std::string(kDriverKey)).values["DriverDesc"] = SimTextValue("USB-Massenspeicherger\xE4t");
    EXPECT_EQ(Describe(kDriverKey), "USB-Massenspeicherger\xE4t");
}

TEST_F(RegistryLookupTest, DriverDescriptionOf199CharactersIsReadInFull)
{
    Key(kClass + std::string(kDriverKey)).values["DriverDesc"] = SimTextValue(std::string(199, 'd'));
    EXPECT_EQ(Describe(kDriverKey), std::string(199, 'd'));
}

TEST_F(RegistryLookupTest, DriverDescriptionTooLongLeavesTheBufferAsItWas)
{
    Key(kClass + std::string(kDriverKey)).values["DriverDesc"] = SimTextValue(std::string(200, 'd'));
    EXPECT_EQ(Describe(kDriverKey, ""), "");
}

TEST_F(RegistryLookupTest, DriverDescriptionWithoutTerminatorIsCutTo199)
{
    const std::string text(200, 'u');
    Key(kClass + std::string(kDriverKey)).values["DriverDesc"] = SimRegistryValue(text.begin(), text.end());
    EXPECT_EQ(Describe(kDriverKey), std::string(199, 'u'));
}

TEST_F(RegistryLookupTest, MissingKeyOrValueLeavesTheDescriptionUnchanged)
{
    EXPECT_EQ(Describe(kDriverKey, ""), "");
    Key(kClass + std::string(kDriverKey)).values["Other"] = SimTextValue("x");
    EXPECT_EQ(Describe(kDriverKey, ""), "");
    Key(std::string(kClass) + "{k}\\0001").openable = false;
    EXPECT_EQ(Describe("{k}\\0001", "before"), "before");
}

TEST_F(RegistryLookupTest, DriverKeyNameIsOpenedAsOneRelativePath)
{
    Key(std::string(kClass) + "{a}\\b\\c").values["DriverDesc"] = SimTextValue("deep");
    EXPECT_EQ(Describe("{a}\\b\\c"), "deep");
}
