#include <algorithm>

#include "host/vlm_hash.h"
#include "obclient/key_hash.h"
#include "obclient/map_probe.h"
#include "obclient/obclient.h"
#include "obclient/value_equality.h"

namespace obclient {

ProbeResult probeMap(vlm_map_table_t* table, const vlm_data_t& key, uint64_t hash)
{
    ProbeResult result{nullptr, nullptr};
    if (table == nullptr || table->capacity == 0)
        return result;
    vlm_map_slot_t* slots = vlm_map_slots(table);
    const uint64_t start = hash % table->capacity;
    uint64_t index = start;
    do {
        vlm_map_slot_t& slot = slots[index];
        if (slotEmpty(slot)) {
            if (result.freeSlot == nullptr)
                result.freeSlot = &slot;
            return result;
        }
        if (!slotOccupied(slot)) {
            if (result.freeSlot == nullptr)
                result.freeSlot = &slot;
        } else if (slot.hash == hash && valuesEqual(slot.key, key)) {
            result.match = &slot;
            return result;
        }
        index = index + 1 == table->capacity ? 0 : index + 1;
    } while (index != start);
    return result;
}

} // namespace obclient

namespace {

constexpr uint64_t smallestMapCapacity = 8;
constexpr double loadLimit = 0.75;

bool withinLoadLimit(const vlm_map_table_t* table)
{
    return static_cast<double>(table->count + table->erased) <=
           static_cast<double>(table->capacity) * loadLimit;
}

void growForInsertion(vlm_map_table_t** table)
{
    if (*table == nullptr) {
        *table = vlm_allocate_map(smallestMapCapacity);
        return;
    }
    *table = vlm_reallocate_map(*table, std::max(2 * (*table)->count + 2, smallestMapCapacity));
}

} // namespace

vlm_map_table_t* obclient_map_new(uint64_t capacity)
{
    return vlm_allocate_map(std::max(capacity, smallestMapCapacity));
}

int obclient_map_insert(vlm_map_table_t** table, vlm_data_t key, vlm_data_t value)
{
    uint64_t hash = 0;
    if (!obclient::tryHashKey(key, VLM_MAP_HASH_SEED, hash))
        return -1;
    for (;;) {
        obclient::ProbeResult probe = obclient::probeMap(*table, key, hash);
        if (probe.match != nullptr) {
            obclient_free_data(key);
            obclient_free_data(value);
            return 0;
        }
        if (probe.freeSlot != nullptr && withinLoadLimit(*table)) {
            probe.freeSlot->hash = hash;
            probe.freeSlot->key = key;
            probe.freeSlot->value = value;
            ++(*table)->count;
            return 1;
        }
        growForInsertion(table);
    }
}

int obclient_map_insert_string(vlm_map_table_t** table, const char* key, vlm_data_t value)
{
    if (key == nullptr)
        return -1;
    return obclient_map_insert(table, obclient_string(key), value);
}

vlm_data_t* obclient_map_find(vlm_map_table_t* table, vlm_data_t key)
{
    uint64_t hash = 0;
    if (!obclient::tryHashKey(key, VLM_MAP_HASH_SEED, hash))
        return nullptr;
    vlm_map_slot_t* slot = obclient::probeMap(table, key, hash).match;
    return slot != nullptr ? &slot->value : nullptr;
}

vlm_data_t* obclient_map_find_string(vlm_map_table_t* table, const char* key)
{
    if (key == nullptr)
        return nullptr;
    // Keys are owned strings, and a borrowed string never equals one; the text is only read.
    vlm_data_t lookup{};
    lookup.payload.string = const_cast<char*>(key);
    lookup.tag = VLM_TAG_STRING;
    return obclient_map_find(table, lookup);
}

void obclient_map_set_name(vlm_map_table_t** table, const char* name)
{
    if (*table != nullptr) {
        vlm_free_string((*table)->name);
        (*table)->name = nullptr;
    }
    if (name == nullptr)
        return;
    if (*table == nullptr)
        *table = vlm_allocate_map(smallestMapCapacity);
    (*table)->name = vlm_copy_string(name);
}
