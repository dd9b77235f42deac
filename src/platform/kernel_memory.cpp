// SPDX-License-Identifier: MIT
// GlobalAlloc / GlobalFree over the C heap, with the allocation-failure hook
// and counters the tests use.
#include "platform_hooks.h"
#include "platform_internal.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<long> g_allocationCount{0};
std::atomic<long> g_liveAllocations{0};
std::atomic<long> g_allocationsUntilFailure{0}; // 0 = hook off

// True when the failure hook picks this allocation.
bool HookFailsThisAllocation()
{
    long remaining = g_allocationsUntilFailure.load();
    while (remaining > 0) {
        if (g_allocationsUntilFailure.compare_exchange_weak(remaining, remaining - 1))
            return remaining == 1;
    }
    return false;
}

} // namespace

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes)
{
    ++g_allocationCount;
    // Only fixed blocks exist here: a movable block would need Lock/Unlock.
    if ((uFlags & ~GMEM_ZEROINIT) != GMEM_FIXED)
        return nullptr;
    if (HookFailsThisAllocation())
        return nullptr;
    const size_t size = dwBytes ? dwBytes : 1;
    void *block = (uFlags & GMEM_ZEROINIT) ? calloc(1, size) : malloc(size);
    if (block)
        ++g_liveAllocations;
    return block;
}

HGLOBAL GlobalFree(HGLOBAL hMem)
{
    if (hMem) {
        free(hMem);
        --g_liveAllocations;
    }
    return nullptr;
}

void PlatformFailNthAllocation(long n) { g_allocationsUntilFailure = n > 0 ? n : 0; }

long PlatformAllocationCount() { return g_allocationCount; }

long PlatformLiveAllocations() { return g_liveAllocations; }
