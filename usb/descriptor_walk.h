// The one rule by which a configuration descriptor set is stepped through.
#pragma once

#include <cstdint>

#include "usb/usb_records.h"

// Header common to every descriptor.
struct DescriptorHeader {
    uint8_t bLength;
    uint8_t bDescriptorType;
};

enum class WalkStep { Continue, Stop };

// Visits each whole descriptor of the set that begins at config and ends
// wTotalLength bytes later, never reading past the end. A descriptor of
// bLength 0 cannot advance the cursor and ends the walk.
template <typename Visitor>
void DescriptorWalk(const USB_CONFIGURATION_DESCRIPTOR* config, Visitor&& visit)
{
    const auto* start = reinterpret_cast<const uint8_t*>(config);
    const uint32_t total = config->wTotalLength;
    uint32_t cursor = 0;
    while (cursor + 2 < total) {
        const auto* header = reinterpret_cast<const DescriptorHeader*>(start + cursor);
        if (header->bLength == 0 || cursor + header->bLength > total)
            return;
        if (visit(header) == WalkStep::Stop)
            return;
        cursor += header->bLength;
    }
}
