// Zero-filled heap blocks for every record and buffer the system owns.
#pragma once

#include <cstddef>

void* AllocZeroed(size_t bytes);
void ReleaseBuffer(void* block);

// Lets the simulation count blocks and make single allocations fail.
struct AllocHooks {
    void* (*alloc)(size_t bytes);
    void (*release)(void* block);
};
void SetAllocHooks(const AllocHooks* hooks);
