#include "connectivity/values/map_builder.h"

#include <utility>

#include "connectivity/values/key_equality.h"
#include "host/map_policy.h"
#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {
namespace {

namespace policy = vlm::map_policy;

// A map_t's capacity once a new key goes into its table of `capacity` slots (0: no
// table yet) holding `count` entries and no erased slots.
constexpr std::size_t capacityTaking(std::size_t count, std::size_t capacity)
{
    if (capacity == 0)
        return policy::minimumCapacity;
    return policy::passesLoadLimit(count, capacity) ? policy::grownCapacity(count) : capacity;
}

// The capacity a map_t has after `entries` distinct insertions, starting with no table.
constexpr std::size_t capacityHolding(std::size_t entries)
{
    std::size_t capacity = 0;
    for (std::size_t count = 0; count < entries; ++count)
        capacity = capacityTaking(count, capacity);
    return capacity;
}

constexpr std::size_t largestCapacity = capacityHolding(map_builder::plannedEntries);
static_assert(largestCapacity <= 64, "a plan's occupied slots are the bits of one word");
static_assert(map_builder::plannedEntries <= 0xFF);

// Entry numbers in slots, placed by the host's probing rule. Which slots are
// taken is a word of bits: probing is then a bit search in a register, and the
// entry numbers are only written, never probed.
class SlotPlan {
public:
    std::size_t capacity() const { return capacity_; }
    std::uint64_t occupied() const { return occupied_; }
    std::uint8_t entryAt(std::size_t slot) const { return entries_[current_][slot]; }

    // Entry number `entry` of entries, after all those before it.
    void insert(std::uint8_t entry, const vlm_map_slot_t* entries)
    {
        const std::size_t capacity = capacityTaking(entry, capacity_);
        if (capacity != capacity_)
            grow(capacity, entries);
        place(entry, entries[entry].hash);
    }

private:
    // As the host re-places a growing table: the old slots in ascending order (none for the first table).
    void grow(std::size_t capacity, const vlm_map_slot_t* entries)
    {
        const std::uint8_t* const old = entries_[current_];
        current_ ^= 1;
        std::uint64_t left = occupied_;
        capacity_ = capacity;
        occupied_ = 0;
        for (; left != 0; left &= left - 1) {
            const std::uint8_t entry = old[__builtin_ctzll(left)];
            place(entry, entries[entry].hash);
        }
    }

    // The first free slot from the probe's start on, wrapping round: with fewer
    // entries than slots there always is one.
    void place(std::uint8_t entry, std::uint64_t hash)
    {
        const std::uint64_t start = policy::probeStart(hash, capacity_);
        const std::uint64_t allSlots =
            capacity_ == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << capacity_) - 1;
        const std::uint64_t free = ~occupied_ & allSlots;
        const std::uint64_t freeFromStart = free & (~std::uint64_t{0} << start);
        const unsigned slot = __builtin_ctzll(freeFromStart != 0 ? freeFromStart : free);
        occupied_ |= std::uint64_t{1} << slot;
        entries_[current_][slot] = entry;
    }

    std::size_t capacity_ = 0;
    std::uint64_t occupied_ = 0;
    // Growth re-places from one into the other.
    std::uint8_t entries_[2][largestCapacity];
    unsigned current_ = 0;
};

// Where each entry of a sequence of hashes ends, entry by entry.
// Zero-initialised throughout, so that the per-thread cache needs no constructor call.
struct Layout {
    std::size_t count = 0;
    std::uint64_t hashes[map_builder::plannedEntries]{};
    std::size_t capacity = 0;
    std::uint8_t slotOf[map_builder::plannedEntries]{};

    bool holds(const vlm_map_slot_t* entries, std::size_t entryCount) const
    {
        if (count != entryCount)
            return false;
        for (std::size_t entry = 0; entry < entryCount; ++entry) {
            if (hashes[entry] != entries[entry].hash)
                return false;
        }
        return true;
    }
};

// A slot depends only on the hashes of the entries before it and its own, and the
// events of one kind of notification nearly always take the same keys in the same
// order: recent layouts are kept, each under its sequence of hashes, so that a
// sequence seen before is placed without replaying the growths. A sequence may be
// kept in either of two places of its set; a new one replaces the set's less
// recently used, so that two kinds whose sequences share a set do not take turns.
class LayoutCache {
public:
    const Layout& layoutOf(const vlm_map_slot_t* entries, std::size_t count)
    {
        std::uint64_t sum = count;
        for (std::size_t entry = 0; entry < count; ++entry)
            sum += entries[entry].hash;
        Set& set = sets_[(sum * fibonacciMultiplier) >> (64 - setBits)];
        for (unsigned way = 0; way < 2; ++way) {
            if (set.layouts[way].holds(entries, count)) {
                set.lessRecent = way ^ 1;
                return set.layouts[way];
            }
        }
        Layout& layout = set.layouts[set.lessRecent];
        set.lessRecent ^= 1;
        plan(entries, count, layout);
        ++planned_;
        return layout;
    }

    std::uint64_t planned() const { return planned_; }

private:
    // 16 sets of two hold 32 sequences: the five notification kinds take a few
    // each, optional keys present or not (a handful in the replay benchmark's file),
    // so the usual ones stay even where two share a set, while the cache stays
    // within a few KiB a thread (asserted below), a small part of the first-level
    // data cache it is read from.
    static constexpr unsigned setBits = 4;
    // 2^64 divided by the golden ratio, made odd: multiplying by it carries every
    // bit of the sum into the product's top bits, which pick the set, and spreads
    // sums that differ a little (one hash more or less) over distant sets.
    static constexpr std::uint64_t fibonacciMultiplier = 0x9E3779B97F4A7C15;

    struct Set {
        Layout layouts[2];
        unsigned lessRecent = 0;
    };

    static void plan(const vlm_map_slot_t* entries, std::size_t count, Layout& layout)
    {
        SlotPlan plan;
        for (std::size_t entry = 0; entry < count; ++entry) {
            plan.insert(static_cast<std::uint8_t>(entry), entries);
            layout.hashes[entry] = entries[entry].hash;
        }
        for (std::uint64_t left = plan.occupied(); left != 0; left &= left - 1) {
            const unsigned slot = __builtin_ctzll(left);
            layout.slotOf[plan.entryAt(slot)] = static_cast<std::uint8_t>(slot);
        }
        layout.capacity = plan.capacity();
        layout.count = count;
    }

    Set sets_[1 << setBits];
    // Only misses are counted, so the hit path stays as it was.
    std::uint64_t planned_ = 0;
};
static_assert(sizeof(LayoutCache) <= 6 * 1024, "the layout cache stays a small part of a first-level cache");

// Per thread, as codec instances are.
thread_local LayoutCache layoutCache;

} // namespace

std::uint64_t map_builder::layoutsPlannedOnThisThread() noexcept
{
    return layoutCache.planned();
}

map_builder::~map_builder()
{
    for (std::size_t entry = 0; entry < count_; ++entry) {
        data_t::adopt(pending_[entry].key);
        data_t::adopt(pending_[entry].value);
    }
}

data_t& map_builder::findOrInsert(const data_t& key, std::uint64_t hash)
{
    if (spilled_.table() != nullptr)
        return spilled_.findOrInsert(key, hash);
    const std::size_t found = findPending(key, hash);
    return found != count_ ? valueOf(found) : append(data_t(key), hash);
}

data_t& map_builder::findOrInsert(data_t&& key, std::uint64_t hash)
{
    if (spilled_.table() != nullptr)
        return spilled_.findOrInsert(std::move(key), hash);
    const std::size_t found = findPending(key, hash);
    return found != count_ ? valueOf(found) : append(std::move(key), hash);
}

void map_builder::insert(data_t&& key, std::uint64_t hash, data_t&& value)
{
    if (spilled_.table() != nullptr) {
        spilled_.insert(std::move(key), hash, std::move(value));
        return;
    }
    if (findPending(key, hash) == count_)
        append(std::move(key), hash) = std::move(value);
}

map_t map_builder::take()
{
    if (spilled_.table() != nullptr)
        return std::move(spilled_);
    return layOutPending();
}

std::uint64_t map_builder::hashBit(std::uint64_t hash) noexcept
{
    return std::uint64_t{1} << (hash & 63);
}

std::size_t map_builder::findPending(const data_t& key, std::uint64_t hash) const noexcept
{
    if ((pendingHashBits_ & hashBit(hash)) == 0)
        return count_;
    std::size_t entry = 0;
    while (entry < count_ && !(pending_[entry].hash == hash && sameKey(pending_[entry].key, key)))
        ++entry;
    return entry;
}

data_t& map_builder::valueOf(std::size_t entry) noexcept
{
    return reinterpret_cast<map_entry_t&>(pending_[entry]).second;
}

data_t& map_builder::append(data_t&& key, std::uint64_t hash)
{
    if (count_ == plannedEntries) {
        spilled_ = layOutPending();
        return spilled_.findOrInsert(std::move(key), hash);
    }
    vlm_map_slot_t& entry = pending_[count_];
    entry.hash = hash;
    entry.key = key.release();
    entry.value = vlm_data_t{};
    pendingHashBits_ |= hashBit(hash);
    return valueOf(count_++);
}

map_t map_builder::layOutPending()
{
    if (count_ == 0)
        return map_t();
    const Layout& layout = layoutCache.layoutOf(pending_, count_);
    // Allocated as growth allocates, without looking for a name: nothing reads
    // the table the host has just zeroed, which would wait for those stores.
    vlm_map_table_t* const table = vlm_allocate_map(layout.capacity);
    map_t map = map_t::adopt(table);
    vlm_map_slot_t* const slots = vlm_map_slots(table);
    for (std::size_t entry = 0; entry < count_; ++entry)
        slots[layout.slotOf[entry]] = pending_[entry];
    table->count = count_;
    count_ = 0;
    pendingHashBits_ = 0;
    return map;
}

} // namespace com::velmora::connectivity10_15_4
