// SPDX-License-Identifier: MIT
// GlobalAlloc / GlobalFree over the C heap, with the allocation-failure hook
// and counters the tests use.
#include "platform_hooks.h"
#include "platform_internal.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FNDL_ASAN 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define FNDL_ASAN 1
#endif
#ifdef FNDL_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

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

// One freed block of the size PlatformKeepFreedBlocksOf names, held back
// from free() (poisoned, so that a use after GlobalFree still fails) for
// the next GlobalAlloc of that size.
struct KeptBlock {
    std::mutex lock;
    std::atomic<size_t> size{0}; // 0: nothing is kept (read unlocked first)
    void *block = nullptr;
    size_t usable = 0; // the heap's size of the block, all of it poisoned
};
KeptBlock g_kept;

void *TakeKeptBlock(size_t size, bool zero)
{
    if (g_kept.size.load(std::memory_order_relaxed) != size)
        return nullptr;
    std::lock_guard<std::mutex> hold(g_kept.lock);
    if (g_kept.block == nullptr || size != g_kept.size)
        return nullptr;
    void *block = g_kept.block;
    g_kept.block = nullptr;
    ASAN_UNPOISON_MEMORY_REGION(block, size); // what lies beyond stays poisoned
    if (zero)
        std::memset(block, 0, size);
    return block;
}

bool KeepBlock(void *block)
{
    if (g_kept.size.load(std::memory_order_relaxed) == 0)
        return false;
    std::lock_guard<std::mutex> hold(g_kept.lock);
    // A block a little larger than asked for (the C heap rounds up) serves
    // as well; its bytes beyond the size stay poisoned when it is given out.
    const size_t usable = malloc_usable_size(block);
    const size_t size = g_kept.size;
    if (size == 0 || g_kept.block != nullptr || usable < size || usable - size >= 4096)
        return false;
    ASAN_POISON_MEMORY_REGION(block, usable);
    g_kept.block = block;
    g_kept.usable = usable;
    return true;
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
    void *block = TakeKeptBlock(size, uFlags & GMEM_ZEROINIT);
    if (!block)
        block = (uFlags & GMEM_ZEROINIT) ? calloc(1, size) : malloc(size);
    if (block)
        ++g_liveAllocations;
    return block;
}

HGLOBAL GlobalFree(HGLOBAL hMem)
{
    if (hMem) {
        if (!KeepBlock(hMem))
            free(hMem);
        --g_liveAllocations;
    }
    return nullptr;
}

void PlatformFailNthAllocation(long n) { g_allocationsUntilFailure = n > 0 ? n : 0; }

long PlatformAllocationCount() { return g_allocationCount; }

long PlatformLiveAllocations() { return g_liveAllocations; }

void PlatformKeepFreedBlocksOf(size_t size)
{
    std::lock_guard<std::mutex> hold(g_kept.lock);
    if (g_kept.block != nullptr && size != g_kept.size) {
        ASAN_UNPOISON_MEMORY_REGION(g_kept.block, g_kept.usable);
        free(g_kept.block);
        g_kept.block = nullptr;
    }
    g_kept.size = size;
}
