// The built-in vendor name table and its lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "assess/vendor_names.h"

// 892 ascending IDs from 0x03E8 to 0x8086, 870 of them below 0x1000, then a
// null terminator; each found by the lookup. What the names may hold,
// tools/make_vendor_table.py checks when it writes the table.
TEST(VendorNameTable, AscendsBelowItsTerminatorAndEveryEntryIsFound)
{
    EXPECT_EQ(VendorNameTable[kVendorNameCount].VendorId, 0);
    EXPECT_EQ(VendorNameTable[kVendorNameCount].Name, nullptr);
    for (size_t i = 0; i < kVendorNameCount; ++i) {
        const VendorNameEntry& entry = VendorNameTable[i];
        EXPECT_TRUE(i == 0 || VendorNameTable[i - 1].VendorId < entry.VendorId) << "entry " << i;
        EXPECT_EQ(LookupVendorName(entry.VendorId), entry.Name) << "found, and points into the table";
    }
    EXPECT_STREQ(LookupVendorName(0x046D), "Logitech Inc.");
    EXPECT_EQ(VendorNameTable[0].VendorId, 0x03E8);
    EXPECT_EQ(VendorNameTable[kVendorNameCount - 1].VendorId, 0x8086);
    EXPECT_EQ(std::count_if(VendorNameTable, VendorNameTable + kVendorNameCount,
                            [](const VendorNameEntry& entry) { return entry.VendorId < 0x1000; }),
              870);
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

