// Open-addressing hash map on the host's table record: the library probes,
// inserts, erases and walks; the host allocates, re-places on growth, copies
// and frees. Iterators carry a snapshot of the table and are checked on use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "connectivity/values/data_t.h"
#include "host/map_policy.h"
#include "host/vlm_abi.h"

namespace com::velmora::connectivity10_15_4 {

class KeySet;

// One slot of the host table, seen through the value type.
struct map_entry_t {
    std::uint64_t hash;
    data_t first;
    data_t second;
};
static_assert(sizeof(map_entry_t) == sizeof(vlm_map_slot_t), "an entry is exactly a host slot");

class map_t {
    template <bool Const> class basic_iterator;

public:
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;

    map_t() noexcept : table_(nullptr) {}
    explicit map_t(std::size_t initialCapacity, const char* name = nullptr);
    map_t(const map_t& other);
    map_t(map_t&& other) noexcept : table_(other.table_) { other.table_ = nullptr; }
    map_t& operator=(const map_t& other);
    map_t& operator=(map_t&& other) noexcept;
    // Maps are moved far more often than they own a table, so the host call is skipped inline.
    ~map_t()
    {
        if (table_ != nullptr)
            releaseTable(table_);
    }

    static map_t adopt(vlm_map_table_t* table) noexcept;
    vlm_map_table_t* release() noexcept;
    vlm_map_table_t* table() const noexcept { return table_; }

    std::size_t size() const noexcept { return table_ == nullptr ? 0 : table_->count; }
    bool empty() const noexcept { return size() == 0; }
    std::size_t capacity() const noexcept { return table_ == nullptr ? 0 : table_->capacity; }

    const char* name() const noexcept { return table_ == nullptr ? nullptr : table_->name; }
    void setName(const char* name);

    iterator begin();
    iterator end();
    const_iterator begin() const;
    const_iterator end() const;

    iterator find(const data_t& key);
    const_iterator find(const data_t& key) const;
    // With the key's hash already known (constant keys store theirs).
    iterator find(const data_t& key, std::uint64_t hash);
    const_iterator find(const data_t& key, std::uint64_t hash) const;

    std::pair<iterator, bool> insert(data_t&& key, data_t&& value);
    std::pair<iterator, bool> insert(std::pair<data_t, data_t>&& entry);
    // With the key's hash already known (a constant's, or the slot's the key came from).
    std::pair<iterator, bool> insert(data_t&& key, std::uint64_t hash, data_t&& value);

    data_t& operator[](data_t&& key);
    data_t& operator[](const data_t& key);
    // Like operator[] with a key whose hash is known: the value of an equal key,
    // inserting the key with an empty value when it is absent. The constant key
    // is copied only when inserted.
    data_t& findOrInsert(const data_t& key, std::uint64_t hash);
    // The same with the key handed over: stored as it is when absent (no copy),
    // released when present.
    data_t& findOrInsert(data_t&& key, std::uint64_t hash);

    // Where each member of keys sits, found in one walk over the slots: slots[i]
    // is the index of member i's slot, or capacity() when it is absent.
    void locate(const KeySet& keys, std::size_t slots[]) const;

    void erase(iterator position);
    // Erases like erase, but hands the key and the value over instead of
    // releasing them; both are empty for the end iterator.
    std::pair<data_t, data_t> extract(iterator position);
    // The same for an occupied slot found by locate, without an iterator's checks.
    std::pair<data_t, data_t> extractSlot(std::size_t index) noexcept;
    // Hands every entry over to take(entry, hash), key and value moved out, in slot
    // order, then releases the emptied table: the map is then empty. When take
    // throws, the entries not yet handed over stay in the map.
    template <class Take> void drain(Take&& take);

    bool operator==(const map_t& other) const;
    bool operator!=(const map_t& other) const { return !(*this == other); }

private:
    vlm_map_slot_t* slots() const noexcept { return table_ == nullptr ? nullptr : vlm_map_slots(table_); }
    vlm::map_policy::ProbeResult probe(const data_t& key, std::uint64_t hash) const;
    // Stores a key that `absent` (its probe) did not find, growing first when needed.
    std::size_t insertNew(data_t&& key, data_t&& value, std::uint64_t hash,
                          vlm::map_policy::ProbeResult absent);
    void grow();
    std::size_t firstOccupied(std::size_t from) const noexcept;
    void dropName() noexcept;
    static void releaseTable(vlm_map_table_t* table) noexcept;

    vlm_map_table_t* table_;
};
static_assert(sizeof(map_t) == sizeof(void*), "a map is exactly one payload word");

template <bool Const> class map_t::basic_iterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = map_entry_t;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<Const, const map_entry_t&, map_entry_t&>;
    using pointer = std::conditional_t<Const, const map_entry_t*, map_entry_t*>;
    using owner_type = std::conditional_t<Const, const map_t, map_t>;

    basic_iterator() = default;
    basic_iterator(owner_type* owner, std::size_t index) noexcept
        : owner_(owner), slots_(owner->slots()), capacity_(owner->capacity()), count_(owner->size()),
          index_(index)
    {}
    template <bool OtherConst, class = std::enable_if_t<Const && !OtherConst>>
    basic_iterator(const basic_iterator<OtherConst>& other) noexcept
        : owner_(other.owner_), slots_(other.slots_), capacity_(other.capacity_), count_(other.count_),
          index_(other.index_)
    {}

    reference operator*() const
    {
        check();
        return *reinterpret_cast<pointer>(slots_ + index_);
    }
    pointer operator->() const { return &**this; }
    basic_iterator& operator++()
    {
        check();
        // The whole snapshot is retaken: with the checks switched off the table may
        // have grown, and the old slot array is gone.
        index_ = owner_->firstOccupied(index_ + 1);
        slots_ = owner_->slots();
        capacity_ = owner_->capacity();
        count_ = owner_->size();
        return *this;
    }
    template <bool OtherConst> bool operator==(const basic_iterator<OtherConst>& other) const
    {
        checkSameOwner(other.owner_);
        return index_ == other.index_;
    }
    template <bool OtherConst> bool operator!=(const basic_iterator<OtherConst>& other) const
    {
        return !(*this == other);
    }

    std::size_t slotIndex() const noexcept { return index_; }
    // Throws "Iterator invalidated by modifying map" when the owner's table changed.
    void check() const;
    void checkOwner(const map_t* owner) const { checkSameOwner(owner); }

private:
    friend class map_t;
    template <bool> friend class basic_iterator;

    void checkSameOwner(const map_t* other) const;

    owner_type* owner_ = nullptr;
    vlm_map_slot_t* slots_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t count_ = 0;
    std::size_t index_ = 0;
};

} // namespace com::velmora::connectivity10_15_4

#include "connectivity/values/iterator_checks.h"
#include "connectivity/values/value_errors.h"

namespace com::velmora::connectivity10_15_4 {

inline std::pair<map_t::iterator, bool> map_t::insert(std::pair<data_t, data_t>&& entry)
{
    return insert(std::move(entry.first), std::move(entry.second));
}

inline map_t::iterator map_t::end()
{
    return iterator(this, capacity());
}
inline map_t::const_iterator map_t::end() const
{
    return const_iterator(this, capacity());
}

inline map_t::iterator map_t::find(const data_t& key)
{
    return find(key, keyHash(key));
}
inline map_t::const_iterator map_t::find(const data_t& key) const
{
    return find(key, keyHash(key));
}

template <class Take> void map_t::drain(Take&& take)
{
    if (table_ == nullptr)
        return;
    vlm_map_slot_t* const slots = vlm_map_slots(table_);
    for (std::size_t index = 0, capacity = table_->capacity; index < capacity; ++index) {
        vlm_map_slot_t& slot = slots[index];
        if (!vlm::map_policy::isOccupiedSlot(slot))
            continue;
        std::pair<data_t, data_t> entry(data_t::adopt(slot.key), data_t::adopt(slot.value));
        slot.key = vlm_data_t{};
        slot.value = vlm_data_t{};
        take(std::move(entry), std::uint64_t{slot.hash});
    }
    // Every slot is empty of records now, so the host can free the table without reading them.
    table_->count = 0;
    releaseTable(table_);
    table_ = nullptr;
}

template <bool Const> inline void map_t::basic_iterator<Const>::check() const
{
    // Three comparisons on the fast path; the environment is read only on a fault.
    if (owner_->slots() == slots_ && owner_->capacity() == capacity_ && owner_->size() == count_)
        return;
    reportIteratorFault(errors::mapIteratorInvalidated);
}

template <bool Const> void map_t::basic_iterator<Const>::checkSameOwner(const map_t* other) const
{
    if (owner_ != other)
        reportIteratorFault(errors::iteratorsOfDifferentMaps);
}

} // namespace com::velmora::connectivity10_15_4
