#include "usb/zeroed_alloc.h"

#include <cstdlib>

namespace {
const AllocHooks* CurrentHooks = nullptr;
}

void* AllocZeroed(size_t bytes)
{
    if (CurrentHooks)
        return CurrentHooks->alloc(bytes);
    return calloc(1, bytes ? bytes : 1);
}

void ReleaseBuffer(void* block)
{
    if (!block)
        return;
    if (CurrentHooks) {
        CurrentHooks->release(block);
        return;
    }
    free(block);
}

void SetAllocHooks(const AllocHooks* hooks)
{
    CurrentHooks = hooks;
}
