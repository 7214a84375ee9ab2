// Tracks every block the system allocates while installed, and can make
// single allocations fail. Releasing a block that is not live, or one whose
// guard bytes past its end were written, aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>

class SimMemory {
public:
    SimMemory();
    ~SimMemory();
    SimMemory(const SimMemory&) = delete;
    SimMemory& operator=(const SimMemory&) = delete;

    size_t LiveBlocks() const { return live_.size(); }
    size_t LiveBytes() const { return liveBytes_; }
    size_t PeakBytes() const { return peakBytes_; }
    uint64_t Allocations() const { return allocations_; }
    uint64_t Failures() const { return failures_; }

    // Fails the allocation with this ordinal (1: the next one), once.
    void FailAllocation(uint64_t ordinalFromNow);
    // Fails every allocation for which the predicate answers true.
    void FailWhen(std::function<bool(size_t bytes)> predicate);

private:
    static void* Alloc(size_t bytes);
    static void Release(void* block);

    std::unordered_map<void*, size_t> live_;
    size_t liveBytes_ = 0;
    size_t peakBytes_ = 0;
    uint64_t allocations_ = 0;
    uint64_t failures_ = 0;
    uint64_t failAt_ = 0;
    std::function<bool(size_t)> failWhen_;
};
