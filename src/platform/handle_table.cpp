// SPDX-License-Identifier: MIT
// Handle table shared by GDI objects and kernel handles.
//
// A handle value is (generation << 20) | (slot + 1): never 0, never
// INVALID_HANDLE_VALUE, and a freed slot's old handles stop matching once the
// slot's generation moves on. Freed slots queue up behind all other free ones,
// so a stale handle would only match again after the whole table has cycled
// 2048 times.
#include "platform_internal.h"

#include <cstdlib>

namespace {

constexpr uintptr_t kSlotBits = 20;
constexpr uintptr_t kSlotMask = (uintptr_t{1} << kSlotBits) - 1;
constexpr uintptr_t kGenerationMask = 0x7FF; // keeps handles below 2^31
constexpr size_t kMaxSlots = kSlotMask - 1;

struct Slot {
    void *object;
    uint32_t nextFree; // index + 1 of the next free slot, 0 = none
    uint16_t generation;
    ObjectKind kind;
};

Slot *g_slots = nullptr;
size_t g_slotCount = 0;
uint32_t g_firstFree = 0; // index + 1, 0 = none
uint32_t g_lastFree = 0;

Slot *SlotOf(const void *handle, ObjectKind kind)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    const uintptr_t slotNumber = value & kSlotMask;
    const uintptr_t generation = value >> kSlotBits;
    if (kind == ObjectKind::Free || slotNumber == 0 || slotNumber > g_slotCount ||
        generation > kGenerationMask)
        return nullptr;
    Slot &slot = g_slots[slotNumber - 1];
    if (slot.kind != kind || slot.generation != generation)
        return nullptr;
    return &slot;
}

bool GrowTable()
{
    if (g_slotCount >= kMaxSlots)
        return false;
    size_t newCount = g_slotCount ? g_slotCount * 2 : 64;
    if (newCount > kMaxSlots)
        newCount = kMaxSlots;
    auto *grown = static_cast<Slot *>(realloc(g_slots, newCount * sizeof(Slot)));
    if (!grown)
        return false;
    // Only called with an empty free list: the new slots become the list.
    for (size_t i = g_slotCount; i < newCount; ++i) {
        grown[i].object = nullptr;
        grown[i].generation = 0;
        grown[i].kind = ObjectKind::Free;
        grown[i].nextFree = (i + 1 < newCount) ? static_cast<uint32_t>(i + 2) : 0;
    }
    g_firstFree = static_cast<uint32_t>(g_slotCount + 1);
    g_lastFree = static_cast<uint32_t>(newCount);
    g_slots = grown;
    g_slotCount = newCount;
    return true;
}

} // namespace

void *AddHandle(ObjectKind kind, void *object)
{
    if (kind == ObjectKind::Free || !object)
        return nullptr;
    if (g_firstFree == 0 && !GrowTable())
        return nullptr;
    const uint32_t slotNumber = g_firstFree;
    Slot &slot = g_slots[slotNumber - 1];
    g_firstFree = slot.nextFree;
    if (g_firstFree == 0)
        g_lastFree = 0;
    slot.object = object;
    slot.kind = kind;
    slot.nextFree = 0;
    const uintptr_t value = (uintptr_t{slot.generation} << kSlotBits) | slotNumber;
    return reinterpret_cast<void *>(value);
}

void *LookUpHandle(const void *handle, ObjectKind kind)
{
    Slot *slot = SlotOf(handle, kind);
    return slot ? slot->object : nullptr;
}

void *RemoveHandle(const void *handle, ObjectKind kind)
{
    Slot *slot = SlotOf(handle, kind);
    if (!slot)
        return nullptr;
    void *object = slot->object;
    slot->object = nullptr;
    slot->kind = ObjectKind::Free;
    slot->generation = static_cast<uint16_t>((slot->generation + 1) & kGenerationMask);
    slot->nextFree = 0;
    const auto slotNumber = static_cast<uint32_t>(slot - g_slots + 1);
    if (g_lastFree != 0)
        g_slots[g_lastFree - 1].nextFree = slotNumber;
    else
        g_firstFree = slotNumber;
    g_lastFree = slotNumber;
    return object;
}

long CountHandles(ObjectKind kind)
{
    long count = 0;
    for (size_t i = 0; i < g_slotCount; ++i)
        if (g_slots[i].kind == kind)
            ++count;
    return count;
}
