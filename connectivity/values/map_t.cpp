#include "connectivity/values/map_t.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "connectivity/values/key_equality.h"
#include "connectivity/values/key_set.h"
#include "host/map_policy.h"
#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {
namespace {

namespace policy = vlm::map_policy;

// Takes the table itself, read after any growth, so a caller cannot pair an
// index with the slot array of the table the insertion replaced.
data_t& valueAt(vlm_map_table_t* table, std::size_t index)
{
    return reinterpret_cast<map_entry_t&>(vlm_map_slots(table)[index]).second;
}

} // namespace

map_t::map_t(std::size_t initialCapacity, const char* name) : table_(nullptr)
{
    if (initialCapacity > 0) {
        table_ = vlm_allocate_map(std::max<std::uint64_t>(initialCapacity, policy::minimumCapacity));
        dropName();
    }
    if (name != nullptr)
        setName(name);
}

map_t::map_t(const map_t& other) : table_(nullptr)
{
    if (other.table_ != nullptr && other.table_->count > 0) {
        table_ = vlm_allocate_map(std::max<std::uint64_t>(other.table_->count, policy::minimumCapacity));
        dropName();
        for (const map_entry_t& entry : other) {
            data_t key(entry.first);
            data_t value(entry.second);
            insert(std::move(key), std::move(value));
        }
    }
    if (other.name() != nullptr)
        setName(other.name());
}

map_t& map_t::operator=(const map_t& other)
{
    if (this != &other)
        *this = map_t(other);
    return *this;
}

map_t& map_t::operator=(map_t&& other) noexcept
{
    map_t taken(std::move(other));
    std::swap(table_, taken.table_);
    return *this;
}

void map_t::releaseTable(vlm_map_table_t* table) noexcept
{
    vlm_free_map(table);
}

map_t map_t::adopt(vlm_map_table_t* table) noexcept
{
    map_t map;
    map.table_ = table;
    return map;
}

vlm_map_table_t* map_t::release() noexcept
{
    vlm_map_table_t* table = table_;
    table_ = nullptr;
    return table;
}

void map_t::dropName() noexcept
{
    if (table_ != nullptr && table_->name != nullptr) {
        vlm_free_string(table_->name);
        table_->name = nullptr;
    }
}

void map_t::setName(const char* name)
{
    dropName();
    if (name == nullptr)
        return;
    if (table_ == nullptr)
        table_ = vlm_allocate_map(policy::minimumCapacity);
    table_->name = vlm_copy_string(name);
}

std::size_t map_t::firstOccupied(std::size_t from) const noexcept
{
    const std::size_t cap = capacity();
    vlm_map_slot_t* s = slots();
    while (from < cap && !policy::isOccupiedSlot(s[from]))
        ++from;
    return std::min(from, cap);
}

map_t::iterator map_t::begin()
{
    return iterator(this, firstOccupied(0));
}
map_t::const_iterator map_t::begin() const
{
    return const_iterator(this, firstOccupied(0));
}

policy::ProbeResult map_t::probe(const data_t& key, std::uint64_t hash) const
{
    return policy::probe(table_, hash, [&key](const vlm_map_slot_t& slot) { return sameKey(slot.key, key); });
}

map_t::iterator map_t::find(const data_t& key, std::uint64_t hash)
{
    const policy::ProbeResult result = probe(key, hash);
    return iterator(this, result.found == policy::noSlot ? capacity() : result.found);
}

map_t::const_iterator map_t::find(const data_t& key, std::uint64_t hash) const
{
    const policy::ProbeResult result = probe(key, hash);
    return const_iterator(this, result.found == policy::noSlot ? capacity() : result.found);
}

void map_t::locate(const KeySet& keys, std::size_t slots[]) const
{
    const std::size_t cap = capacity();
    std::fill(slots, slots + keys.size(), cap);
    const vlm_map_slot_t* s = this->slots();
    for (std::size_t index = 0; index < cap; ++index) {
        const vlm_map_slot_t& slot = s[index];
        if (!policy::isOccupiedSlot(slot))
            continue;
        const std::size_t member = keys.memberFor(slot.hash);
        if (member != keys.size() && slot.hash == keys[member].hash() &&
            sameKey(slot.key, keys[member].value()))
            slots[member] = index;
    }
}

void map_t::grow()
{
    table_ = table_ == nullptr ? vlm_allocate_map(policy::minimumCapacity)
                               : vlm_reallocate_map(table_, policy::grownCapacity(table_->count));
}

// The probe that found the key absent is reused; only growth makes a new one.
std::size_t map_t::insertNew(data_t&& key, data_t&& value, std::uint64_t hash, policy::ProbeResult absent)
{
    while (absent.freeSlot == policy::noSlot || policy::shouldGrow(*table_)) {
        grow();
        absent = probe(key, hash);
    }
    vlm_map_slot_t& slot = slots()[absent.freeSlot];
    slot.hash = hash;
    slot.key = key.release();
    slot.value = value.release();
    ++table_->count;
    return absent.freeSlot;
}

std::pair<map_t::iterator, bool> map_t::insert(data_t&& key, data_t&& value)
{
    const std::uint64_t hash = keyHash(key);
    return insert(std::move(key), hash, std::move(value));
}

std::pair<map_t::iterator, bool> map_t::insert(data_t&& key, std::uint64_t hash, data_t&& value)
{
    const policy::ProbeResult result = probe(key, hash);
    if (result.found != policy::noSlot)
        return {iterator(this, result.found), false};
    return {iterator(this, insertNew(std::move(key), std::move(value), hash, result)), true};
}

data_t& map_t::operator[](data_t&& key)
{
    const std::uint64_t hash = keyHash(key);
    if (key.empty())
        throw std::runtime_error(errors::nullKey);
    const policy::ProbeResult result = probe(key, hash);
    if (result.found != policy::noSlot)
        return valueAt(table_, result.found);
    const std::size_t index = insertNew(std::move(key), data_t(), hash, result);
    return valueAt(table_, index);
}

data_t& map_t::operator[](const data_t& key)
{
    return findOrInsert(key, keyHash(key));
}

data_t& map_t::findOrInsert(const data_t& key, std::uint64_t hash)
{
    const policy::ProbeResult result = probe(key, hash);
    if (result.found != policy::noSlot)
        return valueAt(table_, result.found);
    const std::size_t index = insertNew(data_t(key), data_t(), hash, result);
    return valueAt(table_, index);
}

data_t& map_t::findOrInsert(data_t&& key, std::uint64_t hash)
{
    const policy::ProbeResult result = probe(key, hash);
    if (result.found != policy::noSlot)
        return valueAt(table_, result.found);
    const std::size_t index = insertNew(std::move(key), data_t(), hash, result);
    return valueAt(table_, index);
}

void map_t::erase(iterator position)
{
    // The removed value, then the removed key, are released on the way out.
    extract(position);
}

std::pair<data_t, data_t> map_t::extract(iterator position)
{
    position.checkOwner(this);
    std::pair<data_t, data_t> entry;
    if (position.index_ >= capacity())
        return entry;
    position.check();
    if (!policy::isOccupiedSlot(slots()[position.index_]))
        return entry;
    return extractSlot(position.index_);
}

std::pair<data_t, data_t> map_t::extractSlot(std::size_t index) noexcept
{
    vlm_map_slot_t& slot = slots()[index];
    std::pair<data_t, data_t> entry(data_t::adopt(slot.key), data_t::adopt(slot.value));
    policy::markErased(*table_, slot);
    return entry;
}

bool map_t::operator==(const map_t& other) const
{
    if (size() != other.size())
        return false;
    const char* left = name();
    const char* right = other.name();
    if ((left == nullptr) != (right == nullptr))
        return false;
    if (left != nullptr && std::strcmp(left, right) != 0)
        return false;
    for (const map_entry_t& entry : *this) {
        const_iterator match = other.find(entry.first, entry.hash);
        if (match == other.end() || !(match->second == entry.second))
            return false;
    }
    return true;
}

} // namespace com::velmora::connectivity10_15_4
