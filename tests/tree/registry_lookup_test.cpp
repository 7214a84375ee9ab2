// The driver description and the Plug and Play instance ID read from the
// registry for a driver key name: the shared cases on the simulated registry,
// and what only it can show (key counts, block sizes, no Enum\USB at all).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/sim_session.h"
#include "tests/support/registry_cases.h"
#include "tree/registry_lookup.h"
#include "usb/zeroed_alloc.h"

using namespace registry_cases;

namespace {

constexpr char kEnum[] = "System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kClass[] = "System\\CurrentControlSet\\Control\\Class\\";

// Makes the key below root + path as the case says, its value named value.
void MakeKey(SimTopology& topology, const std::string& path, Make make, const std::string& value,
             const std::string& text)
{
    SimRegistryKey& key = SimRegistryPath(topology.localMachine, path);
    if (make == Make::Unterminated)
        key.values[value] = SimRegistryValue(text.begin(), text.end());
    else if (make != Make::Missing)
        key.values[make == Make::OtherName ? "Other" : value] = SimTextValue(text);
    if (make == Make::Locked)
        key.openable = false;
    if (make == Make::LockedParent)
        SimRegistryPath(topology.localMachine, path.substr(0, path.rfind('\\'))).openable = false;
}

struct Found {
    std::string id;  // empty: null
    size_t liveBytes = 0;
    uint64_t opens = 0;
};

Found Find(SimTopology topology, const std::string& driverKey)
{
    SimSession session(std::move(topology));
    Found found;
    char* id = FindPnpInstanceId(driverKey.c_str());
    if (id) {
        found.id = id;
        found.liveBytes = session.Memory().LiveBytes();
    }
    ReleaseBuffer(id);
    EXPECT_EQ(session.Registry().OpenKeys(), 0u) << "every key opened is closed";
    found.opens = session.Registry().Opens();
    return found;
}

}  // namespace

TEST(RegistryLookup, InstanceIdIsTheFirstInstanceInListingOrderWhoseDriverNamesTheKey)
{
    for (const InstanceIdCase& c : InstanceIdCases()) {
        SimTopology topology;
        for (const UsbKey& key : c.keys)
            MakeKey(topology, kEnum + key.path, key.make, "Driver", key.driver);
        const Found found = Find(std::move(topology), c.find);
        EXPECT_EQ(found.id, c.expected) << c.what;
        EXPECT_TRUE(found.id.empty() || found.liveBytes == found.id.size() + 1) << c.what << ": a block of the ID's size";
    }
    EXPECT_EQ(Find(SimTopology(), kDriverKey).id, "") << "no Enum\\USB";
}

TEST(RegistryLookup, DeviceKeyNameOf100CharactersEndsTheSearchBeforeOpeningIt)
{
    const auto cases = InstanceIdCases();
    const InstanceIdCase& c = cases.back();
    SimTopology topology;
    for (const UsbKey& key : c.keys)
        MakeKey(topology, kEnum + key.path, key.make, "Driver", key.driver);
    EXPECT_EQ(Find(std::move(topology), c.find).opens, 1u) << "the USB key and nothing below it";
}

// DriverDesc below the class key, the driver key name one relative path:
// read up to 199 characters, else the buffer stays as it was.
TEST(RegistryLookup, DriverDescriptionIsReadBelowTheClassKey)
{
    for (const DescriptionCase& c : DescriptionCases()) {
        SimTopology topology;
        MakeKey(topology, kClass + c.key, c.make, "DriverDesc", c.text);
        SimSession session(std::move(topology));
        std::string buffer = BufferBefore();
        ReadDriverDesc(c.key.c_str(), buffer.data());
        EXPECT_EQ(buffer, BufferAfter(c)) << c.what;
        EXPECT_EQ(session.Registry().OpenKeys(), 0u) << c.what << ": every key opened is closed";
    }
}
