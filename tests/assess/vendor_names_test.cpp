// The built-in vendor name table and its lookup.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "assess/vendor_names.h"

// Ascending IDs below a null terminator, each found by the lookup. What the
// names may hold, tools/make_vendor_table.py checks when it writes the table.
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

