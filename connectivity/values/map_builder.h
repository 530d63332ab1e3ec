// A map made by insertion alone, such as an event's payload, whose host table is
// laid out once, when the map is taken: each entry goes into the slot that
// inserting the entries one by one into a map_t would have left it in, through
// every growth, so the map iterates in the same order; only the tables those
// growths pass through are never made, and where each entry ends is worked out
// once for each sequence of key hashes seen lately. Past plannedEntries keys it
// becomes such a map_t and goes on inserting into that.
#pragma once

#include <cstddef>
#include <cstdint>

#include "connectivity/values/data_t.h"
#include "connectivity/values/map_t.h"
#include "host/vlm_abi.h"

namespace com::velmora::connectivity10_15_4 {

class map_builder {
public:
    // The payloads of the replay benchmark's mix take 7 (measurements) to 15
    // (alarms) keys, so 16 plans every kind but managed objects, which take about
    // 20 and spill. The pending entries are 16 x 40 = 640 bytes of every message
    // builder, so the number stays near what is needed; a plan of 16 ends in a
    // table of 28 slots, well inside the 64 bits of its occupancy word.
    static constexpr std::size_t plannedEntries = 16;

    map_builder() noexcept {}
    map_builder(const map_builder&) = delete;
    map_builder& operator=(const map_builder&) = delete;
    ~map_builder();

    // As map_t's: the value of an equal key, else that of a new entry, empty, under
    // a copy of the constant key or under the handed-over key itself.
    data_t& findOrInsert(const data_t& key, std::uint64_t hash);
    data_t& findOrInsert(data_t&& key, std::uint64_t hash);
    // Stores key and value unless an equal key is there; then both stay with the caller.
    void insert(data_t&& key, std::uint64_t hash, data_t&& value);

    // The map with every entry in its place; the builder is left empty.
    map_t take();

    // The layouts this thread has worked out because none kept matched: with the
    // number of maps taken, it gives the kept layouts' hit rate.
    static std::uint64_t layoutsPlannedOnThisThread() noexcept;

private:
    static std::uint64_t hashBit(std::uint64_t hash) noexcept;
    std::size_t findPending(const data_t& key, std::uint64_t hash) const noexcept;
    data_t& valueOf(std::size_t entry) noexcept;
    data_t& append(data_t&& key, std::uint64_t hash);
    map_t layOutPending();

    std::size_t count_ = 0;
    // The pending hashes' bits, one of 64 each: most keys are new, and a clear
    // bit shows that without comparing any hash.
    std::uint64_t pendingHashBits_ = 0;
    // Owned key and value records in insertion order, each with its key's hash:
    // exactly what a slot holds, so a slot is filled by copying its entry.
    vlm_map_slot_t pending_[plannedEntries];
    map_t spilled_;
};

} // namespace com::velmora::connectivity10_15_4
