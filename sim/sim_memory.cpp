#include "sim/sim_memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "usb/zeroed_alloc.h"

namespace {
SimMemory* Installed = nullptr;

// Bytes past each block's end that the code under test must leave alone.
constexpr size_t kGuardBytes = 8;
constexpr unsigned char kGuard = 0xA5;
}

SimMemory::SimMemory()
{
    Installed = this;
    static const AllocHooks hooks = {&SimMemory::Alloc, &SimMemory::Release};
    SetAllocHooks(&hooks);
}

SimMemory::~SimMemory()
{
    SetAllocHooks(nullptr);
    Installed = nullptr;
    // Blocks still live were leaked by the code under test; they stay leaked
    // so that LeakSanitizer reports them too.
}

void SimMemory::FailAllocation(uint64_t ordinalFromNow)
{
    failAt_ = allocations_ + ordinalFromNow;
}

void SimMemory::FailWhen(std::function<bool(size_t)> predicate)
{
    failWhen_ = std::move(predicate);
}

void* SimMemory::Alloc(size_t bytes)
{
    SimMemory& self = *Installed;
    ++self.allocations_;
    if ((self.failAt_ && self.allocations_ == self.failAt_) || (self.failWhen_ && self.failWhen_(bytes))) {
        ++self.failures_;
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(calloc(1, bytes + kGuardBytes));
    if (!block)
        return nullptr;
    memset(block + bytes, kGuard, kGuardBytes);
    self.live_[block] = bytes;
    self.liveBytes_ += bytes;
    if (self.liveBytes_ > self.peakBytes_)
        self.peakBytes_ = self.liveBytes_;
    return block;
}

void SimMemory::Release(void* block)
{
    SimMemory& self = *Installed;
    auto found = self.live_.find(block);
    // A block that is not live is a double release or a foreign pointer.
    if (found == self.live_.end()) {
        fprintf(stderr, "released a block that is not live: %p\n", block);
        abort();
    }
    const auto* guard = static_cast<const unsigned char*>(block) + found->second;
    for (size_t i = 0; i < kGuardBytes; ++i) {
        if (guard[i] != kGuard) {
            fprintf(stderr, "written past the end of a block of %zu bytes: %p\n", found->second, block);
            abort();
        }
    }
    self.liveBytes_ -= found->second;
    self.live_.erase(found);
    free(block);
}
