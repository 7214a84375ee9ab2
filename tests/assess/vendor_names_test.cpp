// The built-in vendor name table and its lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "assess/vendor_names.h"

namespace
{

bool IsNameCharacter(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c != '\0' && std::strchr(" .,-&()/'+", c) != nullptr;
}

} // namespace

// Ascending IDs below a null terminator, each found by the lookup; names
// of 3 to 49 plain ASCII characters, none a placeholder made of the ID.
TEST(VendorNameTable, AscendsBelowItsTerminatorWithPlainNamesOf3To49Characters)
{
    EXPECT_EQ(VendorNameTable[kVendorNameCount].VendorId, 0);
    EXPECT_EQ(VendorNameTable[kVendorNameCount].Name, nullptr);
    size_t shortest = SIZE_MAX;
    size_t longest = 0;
    for (size_t i = 0; i < kVendorNameCount; ++i) {
        const VendorNameEntry& entry = VendorNameTable[i];
        EXPECT_TRUE(i == 0 || VendorNameTable[i - 1].VendorId < entry.VendorId) << "entry " << i;
        ASSERT_NE(entry.Name, nullptr) << std::hex << entry.VendorId;
        const size_t length = std::strlen(entry.Name);
        shortest = std::min(shortest, length);
        longest = std::max(longest, length);
        for (const char* c = entry.Name; *c != '\0'; ++c)
            EXPECT_TRUE(IsNameCharacter(*c)) << "'" << *c << "' in " << entry.Name;
        char placeholder[16];
        std::snprintf(placeholder, sizeof placeholder, "%04X", entry.VendorId);
        EXPECT_TRUE(entry.Name[0] != ' ' && entry.Name[length - 1] != ' ' && !std::strstr(entry.Name, "  ") &&
                    !std::strstr(entry.Name, placeholder) && std::strncmp(entry.Name, "Vendor ", 7) != 0)
            << "trimmed, no placeholder: " << entry.Name;
        EXPECT_EQ(LookupVendorName(entry.VendorId), entry.Name) << "found, and points into the table";
    }
    EXPECT_EQ(shortest, 3u);
    EXPECT_EQ(longest, 49u);
    // Fixed names, among them the longest, the shortest and ones usb.ids lacks.
    EXPECT_STREQ(LookupVendorName(0x065F), "Good Way Industrial Co, Ltd & GWC Technology Inc.");
    EXPECT_STREQ(LookupVendorName(0x0C39), "IFR");
    EXPECT_STREQ(LookupVendorName(0x046D), "Logitech Inc.");
    EXPECT_STREQ(LookupVendorName(0x0A45), "Look&Say co., Ltd.");
}

TEST(VendorNameLookup, IdsOutsideTheTableYieldNull)
{
    EXPECT_EQ(LookupVendorName(0), nullptr);
    EXPECT_EQ(LookupVendorName(0x03EA), nullptr); // between 0x03E9 and 0x03EB
    EXPECT_EQ(LookupVendorName(0x03E7), nullptr); // below the first
    EXPECT_EQ(LookupVendorName(0xFFFF), nullptr); // above the last
    EXPECT_EQ(LookupVendorName(0x1D6B), nullptr); // a known company, but not in the table
    EXPECT_EQ(LookupVendorName(0x1000), nullptr);
}

