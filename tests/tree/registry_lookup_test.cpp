// The driver description and the Plug and Play instance ID read from the
// registry for a driver key name.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "sim/sim_session.h"
#include "tree/registry_lookup.h"
#include "usb/zeroed_alloc.h"

namespace {

constexpr char kClass[] = "System\\CurrentControlSet\\Control\\Class\\";
constexpr char kEnum[] = "System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kDriverKey[] = "{36fc9e60-c465-11cf-8056-444553540000}\\0012";

class RegistryLookupTest : public ::testing::Test {
public:
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

// Which instance of Enum\USB names the driver key, case by case.
TEST_F(RegistryLookupTest, FirstInstanceWhoseDriverNamesTheKeyWins)
{
    const std::string enumKey = kEnum;
    const struct {
        const char* what;
        std::function<void(RegistryLookupTest&)> setup;
        std::string expected;
        std::string find = kDriverKey;
    } cases[] = {
        {"no USB key", [](RegistryLookupTest&) {}, "(null)"},
        {"no match", [](RegistryLookupTest& t) { t.Instance("A", "1", "{other}"); }, "(null)"},
        {"ASCII letters fold",
         [](RegistryLookupTest& t) { t.Instance("A", "1", "{36FC9E60-C465-11CF-8056-444553540000}\\0012"); },
         "USB\\A\\1"},
        {"other letters do not", [](RegistryLookupTest& t) { t.Instance("A", "1", "{k}\\\xC4"); }, "(null)",
         "{k}\\\xE4"},  // A and a with diaeresis in code page 1252
        {"enumeration order",
         [](RegistryLookupTest& t) {
             t.Instance("A", "1", "{other}\\0001");
             t.Instance("A", "2", kDriverKey);
             t.Instance("B", "1", kDriverKey);
         },
         "USB\\A\\2"},
        {"first of two instances of one device key",
         [](RegistryLookupTest& t) {
             t.Instance("A", "1", kDriverKey);
             t.Instance("A", "2", kDriverKey);
         },
         "USB\\A\\1"},
        {"device key that cannot be opened",
         [enumKey](RegistryLookupTest& t) {
             t.Instance("A", "1", kDriverKey);
             t.Key(enumKey + "A").openable = false;
             t.Instance("B", "7", kDriverKey);
         },
         "USB\\B\\7"},
        {"instances that cannot be opened, name another key or none",
         [enumKey](RegistryLookupTest& t) {
             t.Instance("A", "1", kDriverKey);
             t.Key(enumKey + "A\\1").openable = false;
             t.Instance("A", "2", "{other}\\0001");
             t.Key(enumKey + "A\\3");
             t.Instance("A", "4", kDriverKey);
         },
         "USB\\A\\4"},
        {"no Driver value inherits the one before",
         [enumKey](RegistryLookupTest& t) {
             t.Instance("A", "1", kDriverKey + std::string("x"));
             t.Key(enumKey + "A\\2");
         },
         "(null)"},
        {"instance key name of 100 characters ends only its device",
         [](RegistryLookupTest& t) {
             t.Instance("A", std::string(100, 'i'), "{other}");
             t.Instance("A", "2", kDriverKey);
             t.Instance("B", "3", kDriverKey);
         },
         "USB\\B\\3"},
        {"Driver values that do not fit or lack the terminator",
         [enumKey](RegistryLookupTest& t) {
             t.Key(enumKey + "A\\1").values["Driver"] = SimTextValue(kDriverKey + std::string(300, ' '));
             const std::string bare = kDriverKey;
             t.Key(enumKey + "A\\2").values["Driver"] = SimRegistryValue(bare.begin(), bare.end());
             t.Instance("A", "3", kDriverKey);
         },
         "USB\\A\\3"},
    };
    for (const auto& c : cases) {
        c.setup(*this);
        EXPECT_EQ(Find(c.find.c_str()), c.expected) << c.what;
        topology_ = SimTopology();
    }
    const std::string longest(299, 'k');  // 300 bytes with the terminator: still read
    Instance("B", "1", longest);
    EXPECT_EQ(Find(longest.c_str()), "USB\\B\\1");
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

// DriverDesc below the class key, the driver key name one relative path:
// read up to 199 characters, else the buffer stays as it was.
TEST_F(RegistryLookupTest, DriverDescriptionIsReadBelowTheClassKey)
{
    const std::string unterminated(200, 'u');
    const struct {
        const char* key;
        const char* value;  // null: no DriverDesc
        SimRegistryValue data;
        std::string expected;
        bool openable = true;
    } cases[] = {
        {kDriverKey, "DriverDesc", SimTextValue("USB-Massenspeicherger\xE4t"), "USB-Massenspeicherger\xE4t"},
        {kDriverKey, "DriverDesc", SimTextValue(std::string(199, 'd')), std::string(199, 'd')},
        {kDriverKey, "DriverDesc", SimTextValue(std::string(200, 'd')), "before"},
        {kDriverKey, "DriverDesc", SimRegistryValue(unterminated.begin(), unterminated.end()), std::string(199, 'u')},
        {"{a}\\b\\c", "DriverDesc", SimTextValue("deep"), "deep"},
        {kDriverKey, "Other", SimTextValue("x"), "before"},
        {kDriverKey, nullptr, {}, "before"},
        {"{k}\\0001", "DriverDesc", SimTextValue("x"), "before", false},
    };
    for (const auto& c : cases) {
        if (c.value) {
            SimRegistryKey& key = Key(kClass + std::string(c.key));
            key.values[c.value] = c.data;
            key.openable = c.openable;
        }
        EXPECT_EQ(Describe(c.key, "before"), c.expected) << c.key << " " << c.data.size();
        topology_ = SimTopology();
    }
}
