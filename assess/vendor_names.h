// Built-in table of USB vendor IDs and company names.
#pragma once

#include <cstddef>
#include <cstdint>

struct VendorNameEntry
{
    uint16_t VendorId;
    const char* Name;
};

// Strictly ascending by vendor ID, each ID once, then {0, nullptr}.
// Generated into assess/vendor_name_table.cpp by tools/make_vendor_table.py.
extern const VendorNameEntry VendorNameTable[];
constexpr size_t kVendorNameCount = 892;

// The company name for a vendor ID, or null when the table has none.
// The text is constant and lives as long as the program.
const char* LookupVendorName(uint16_t vendorId);
