// Lookup in the built-in vendor name table.
#include "assess/vendor_names.h"

const char* LookupVendorName(uint16_t vendorId)
{
    // 0 marks the end of the table, so it is never a match.
    if (vendorId == 0)
        return nullptr;

    for (const VendorNameEntry* entry = VendorNameTable; entry->VendorId != 0; ++entry)
    {
        if (entry->VendorId == vendorId)
            return entry->Name;
    }
    return nullptr;
}
