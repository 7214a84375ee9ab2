// A topology as the flat block the kernel driver reads (sim/kernel/flat_topology.h).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_topology.h"

struct FlatTopology {
    std::vector<uint32_t> words;     // the block, 4-byte aligned
    std::vector<const SimHub*> hubs; // the topology's hub behind each hub index
    // Hub names (code page 1252, ASCII letters folded) to the hub index that
    // "\\.\" + the name opens.
    std::map<std::string, uint32_t> hubByName;
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(words.data()); }
    uint32_t Size() const { return static_cast<uint32_t>(words.size() * 4); }
};

FlatTopology FlattenTopology(const SimTopology& topology);
