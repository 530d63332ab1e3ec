// The rules of the host map table that both sides of the boundary apply: the
// plug-in's map_t and the host runtime each probe, insert into and erase from
// the same tables, so a table built by one is searchable by the other only
// while both follow these rules exactly. Change one here and both sides change.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "host/vlm_abi.h"

namespace vlm::map_policy {

// Fixed by the host ABI: every key hash starts from it, and stored hashes are
// compared across the boundary, so it can never change.
inline constexpr std::uint64_t hashSeed = 0x243FCAF1;

// The host allocates no smaller table: maps of a few entries (metadata, series
// values) stay one allocation and never grow.
inline constexpr std::uint64_t minimumCapacity = 8;

// Three quarters keeps linear probes short while a table is at most a third
// larger than its entries need; 8 slots then take 7 entries before growing.
// A fraction of integers, so the test is exact and costs no conversions.
inline constexpr std::uint64_t loadLimitNumerator = 3;
inline constexpr std::uint64_t loadLimitDenominator = 4;

inline bool isEmptySlot(const vlm_map_slot_t& slot)
{
    return slot.hash == VLM_SLOT_EMPTY_HASH && slot.key.tag == VLM_TAG_EMPTY;
}

inline bool isErasedSlot(const vlm_map_slot_t& slot)
{
    return slot.hash == VLM_SLOT_ERASED_HASH && slot.key.tag == VLM_TAG_EMPTY;
}

// Any other combination, so an empty key stored under a hash above 1 is an entry.
// Written as one test of each field, since every walk over a table asks it of each slot.
static_assert(VLM_SLOT_EMPTY_HASH == 0 && VLM_SLOT_ERASED_HASH == 1);
inline bool isOccupiedSlot(const vlm_map_slot_t& slot)
{
    return (slot.hash > VLM_SLOT_ERASED_HASH) | (slot.key.tag != VLM_TAG_EMPTY);
}

// From the entries alone, not the erased slots: re-placement drops the markers,
// so twice the live entries leaves the grown table half full at most.
constexpr std::uint64_t grownCapacity(std::uint64_t count)
{
    return std::max<std::uint64_t>(2 * count + 2, minimumCapacity);
}

// Without erased slots, a table grows on the insertion that passes the load limit.
constexpr std::uint64_t capacityAfterGrowth(std::uint64_t capacity)
{
    return grownCapacity(capacity * loadLimitNumerator / loadLimitDenominator + 1);
}

// Where most event payloads end: a table's second growth.
inline constexpr std::uint64_t secondGrowthCapacity =
    capacityAfterGrowth(capacityAfterGrowth(minimumCapacity));

// Always hash mod capacity, but a division is slow and every probe and every
// re-placement on growth starts with one: a power of two is masked, and the
// second growth's capacity is a constant divisor, which compiles to a multiplication.
inline std::uint64_t probeStart(std::uint64_t hash, std::uint64_t capacity)
{
    if ((capacity & (capacity - 1)) == 0)
        return hash & (capacity - 1);
    if (capacity == secondGrowthCapacity)
        return hash % secondGrowthCapacity;
    return hash % capacity;
}

inline std::uint64_t nextSlot(std::uint64_t index, std::uint64_t capacity)
{
    return index + 1 == capacity ? 0 : index + 1;
}

// Erased slots count against the limit until the next growth, even once reused:
// a probe cannot stop at an erased slot, so a table that churns through erase
// and insert must still grow (and so be re-placed without markers) before its
// probes get long. Computed on the counts before the insertion.
constexpr bool passesLoadLimit(std::uint64_t entriesAndErased, std::uint64_t capacity)
{
    return entriesAndErased * loadLimitDenominator > capacity * loadLimitNumerator;
}

inline bool shouldGrow(const vlm_map_table_t& table)
{
    return passesLoadLimit(table.count + table.erased, table.capacity);
}

// An erased slot keeps the probe chains through it intact; the erase count
// stays until growth re-places the table.
inline void markErased(vlm_map_table_t& table, vlm_map_slot_t& slot)
{
    slot.key = vlm_data_t{};
    slot.value = vlm_data_t{};
    slot.hash = VLM_SLOT_ERASED_HASH;
    --table.count;
    ++table.erased;
}

inline constexpr std::size_t noSlot = static_cast<std::size_t>(-1);

struct ProbeResult {
    std::size_t found = noSlot; // the slot holding an equal key
    std::size_t freeSlot =
        noSlot; // where the key would go when absent: the first erased slot passed, else the empty one
};

// From hash mod capacity forward with wrap, until an empty slot or a full
// circle. `sameKey(slot)` compares a slot's key with the one looked for; it is
// asked only of occupied slots whose hash matches.
template <class SameKey> ProbeResult probe(const vlm_map_table_t* table, std::uint64_t hash, SameKey sameKey)
{
    ProbeResult result;
    if (table == nullptr || table->capacity == 0)
        return result;
    const vlm_map_slot_t* slots = vlm_map_slots(const_cast<vlm_map_table_t*>(table));
    const std::uint64_t capacity = table->capacity;
    const std::uint64_t start = probeStart(hash, capacity);
    std::uint64_t index = start;
    do {
        const vlm_map_slot_t& slot = slots[index];
        if (isErasedSlot(slot)) {
            if (result.freeSlot == noSlot)
                result.freeSlot = index;
        } else if (isEmptySlot(slot)) {
            if (result.freeSlot == noSlot)
                result.freeSlot = index;
            return result;
        } else if (slot.hash == hash && sameKey(slot)) {
            result.found = index;
            return result;
        }
        index = nextSlot(index, capacity);
    } while (index != start);
    return result;
}

} // namespace vlm::map_policy
