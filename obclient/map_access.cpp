#include <algorithm>
#include <cstring>

#include "host/map_policy.h"
#include "host/vlm_hash.h"
#include "obclient/key_hash.h"
#include "obclient/map_probe.h"
#include "obclient/obclient.h"
#include "obclient/value_equality.h"

namespace policy = vlm::map_policy;

namespace obclient {

ProbeResult probeMap(vlm_map_table_t* table, const vlm_data_t& key, uint64_t hash)
{
    const policy::ProbeResult found =
        policy::probe(table, hash, [&key](const vlm_map_slot_t& slot) { return valuesEqual(slot.key, key); });
    vlm_map_slot_t* slots = table == nullptr ? nullptr : vlm_map_slots(table);
    return ProbeResult{found.found == policy::noSlot ? nullptr : slots + found.found,
                       found.freeSlot == policy::noSlot ? nullptr : slots + found.freeSlot};
}

} // namespace obclient

namespace {

// Out of line: the tables the reader fills are sized up front and never grow here.
[[gnu::noinline]] void growForInsertion(vlm_map_table_t** table)
{
    *table = *table == nullptr ? vlm_allocate_map(policy::minimumCapacity)
                               : vlm_reallocate_map(*table, policy::grownCapacity((*table)->count));
}

// The free slot a key absent from the table goes into, growing the table first when it
// is full; null when the table holds the key already.
template <class SameKey>
vlm_map_slot_t* slotForNewKey(vlm_map_table_t** table, uint64_t hash, SameKey sameKey)
{
    for (;;) {
        const policy::ProbeResult probe = policy::probe(*table, hash, sameKey);
        if (probe.found != policy::noSlot)
            return nullptr;
        if (probe.freeSlot != policy::noSlot && !policy::shouldGrow(**table))
            return vlm_map_slots(*table) + probe.freeSlot;
        growForInsertion(table);
    }
}

void fillSlot(vlm_map_table_t* table, vlm_map_slot_t& slot, uint64_t hash, vlm_data_t key, vlm_data_t value)
{
    slot.hash = hash;
    slot.key = key;
    slot.value = value;
    ++table->count;
}

// Takes key and value: inserts them, or frees both when the key is there already.
int insertHashed(vlm_map_table_t** table, vlm_data_t key, vlm_data_t value, uint64_t hash)
{
    vlm_map_slot_t* slot = slotForNewKey(
        table, hash, [&key](const vlm_map_slot_t& stored) { return obclient::valuesEqual(stored.key, key); });
    if (slot == nullptr) {
        obclient_free_data(key);
        obclient_free_data(value);
        return 0;
    }
    fillSlot(*table, *slot, hash, key, value);
    return 1;
}

// Whether a stored key equals the string a text of `length` bytes would be copied into,
// which ends at the text's first NUL; compared as the general path's strcmp does.
bool sameStringKey(const vlm_data_t& stored, const char* text, size_t length)
{
    if (stored.tag != VLM_TAG_STRING)
        return false;
    const char* storedText = stored.payload.string != nullptr ? stored.payload.string : "";
    size_t i = 0;
    for (; i < length && text[i] != '\0'; ++i) {
        if (storedText[i] != text[i])
            return false;
    }
    return storedText[i] == '\0';
}

} // namespace

vlm_map_table_t* obclient_map_new(uint64_t capacity)
{
    return vlm_allocate_map(std::max(capacity, policy::minimumCapacity));
}

int obclient_map_insert(vlm_map_table_t** table, vlm_data_t key, vlm_data_t value)
{
    uint64_t hash = 0;
    if (!obclient::tryHashKey(key, policy::hashSeed, hash))
        return -1;
    return insertHashed(table, key, value, hash);
}

int obclient_map_insert_string(vlm_map_table_t** table, const char* key, vlm_data_t value)
{
    if (key == nullptr)
        return -1;
    return obclient_map_insert_string_n(table, key, std::strlen(key), value);
}

// Flattened: the key's string, its copy and its record are made inline, where the
// compiler would otherwise leave some of them as calls for every key the reader inserts.
[[gnu::flatten]] int obclient_map_insert_string_n(vlm_map_table_t** table, const char* key, size_t length,
                                                  vlm_data_t value)
{
    if (key == nullptr)
        return -1;
    // The string hash is that of the text's bytes, as vlm_hash_string makes it. The key's
    // string is made only once the key is known to be new.
    const uint64_t hash = vlm_murmur_hash64a(key, length, policy::hashSeed);
    vlm_map_slot_t* slot = slotForNewKey(table, hash, [key, length](const vlm_map_slot_t& stored) {
        return sameStringKey(stored.key, key, length);
    });
    if (slot == nullptr) {
        obclient_free_data(value);
        return 0;
    }
    fillSlot(*table, *slot, hash, obclient_string_n(key, length), value);
    return 1;
}

int obclient_map_erase(vlm_map_table_t* table, vlm_data_t key)
{
    uint64_t hash = 0;
    if (!obclient::tryHashKey(key, policy::hashSeed, hash))
        return -1;
    vlm_map_slot_t* slot = obclient::probeMap(table, key, hash).match;
    if (slot == nullptr)
        return 0;
    const vlm_data_t erasedKey = slot->key;
    const vlm_data_t erasedValue = slot->value;
    policy::markErased(*table, *slot);
    obclient_free_data(erasedValue);
    obclient_free_data(erasedKey);
    return 1;
}

vlm_data_t* obclient_map_find(vlm_map_table_t* table, vlm_data_t key)
{
    uint64_t hash = 0;
    if (!obclient::tryHashKey(key, policy::hashSeed, hash))
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
        *table = vlm_allocate_map(policy::minimumCapacity);
    (*table)->name = vlm_copy_string(name);
}
