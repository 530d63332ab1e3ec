#include "obclient/key_hash.h"

#include <cstdio>
#include <cstdlib>

#include "host/map_policy.h"
#include "host/vlm_hash.h"
#include "obclient/map_probe.h"
#include "obclient/obclient.h"

namespace obclient {
namespace {

uint64_t hashWord(uint64_t word, uint64_t seed)
{
    return vlm_murmur_hash64a(&word, sizeof word, seed);
}

bool tryHashList(const vlm_list_t* list, uint64_t& hash)
{
    hash = vlm::map_policy::hashSeed;
    if (list == nullptr)
        return true;
    const vlm_data_t* items = vlm_list_items(const_cast<vlm_list_t*>(list));
    for (uint64_t i = 0; i < list->count; ++i) {
        if (!tryHashKey(items[i], hash, hash))
            return false;
    }
    return true;
}

// A sum over the entries, so the result does not depend on where growth put them.
bool tryHashMap(vlm_map_table_t* table, uint64_t& hash)
{
    hash = vlm::map_policy::hashSeed;
    if (table == nullptr)
        return true;
    vlm_map_slot_t* slots = vlm_map_slots(table);
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (!vlm::map_policy::isOccupiedSlot(slots[i]))
            continue;
        uint64_t keyHash = 0;
        uint64_t valueHash = 0;
        if (!tryHashKey(slots[i].key, vlm::map_policy::hashSeed, keyHash) ||
            !tryHashKey(slots[i].value, vlm::map_policy::hashSeed, valueHash))
            return false;
        hash += keyHash + valueHash;
    }
    return true;
}

uint64_t hashBuffer(vlm_buffer_t* buffer)
{
    if (buffer == nullptr)
        return vlm_murmur_hash64a(nullptr, 0, vlm::map_policy::hashSeed);
    return vlm_murmur_hash64a(vlm_buffer_bytes(buffer), buffer->length, vlm::map_policy::hashSeed);
}

} // namespace

bool tryHashKey(const vlm_data_t& key, uint64_t seed, uint64_t& hash)
{
    switch (key.tag) {
    case VLM_TAG_BOOLEAN:
        hash = key.payload.boolean != 0 ? seed : ~seed;
        return true;
    case VLM_TAG_DOUBLE:
        // +0.0 and -0.0 are equal keys, so they must share a hash.
        hash = hashWord(key.payload.number == 0.0 ? 0 : key.payload.bits, seed);
        return true;
    case VLM_TAG_INTEGER:
    case VLM_TAG_DECIMAL:
        hash = hashWord(key.payload.bits, seed);
        return true;
    case VLM_TAG_STRING:
    case VLM_TAG_BORROWED_STRING:
        hash = vlm_hash_string(key.payload.borrowed);
        return true;
    case VLM_TAG_LIST:
        return tryHashList(key.payload.list, hash);
    case VLM_TAG_MAP:
        return tryHashMap(key.payload.map, hash);
    case VLM_TAG_BUFFER:
        hash = hashBuffer(key.payload.buffer);
        return true;
    case VLM_TAG_CUSTOM:
        return false;
    default:
        hash = seed;
        return true;
    }
}

} // namespace obclient

uint64_t obclient_key_hash(vlm_data_t key)
{
    uint64_t hash = 0;
    if (!obclient::tryHashKey(key, vlm::map_policy::hashSeed, hash)) {
        // No error channel in this signature: a custom key is the caller's bug.
        std::fprintf(stderr, "obclient: obclient_key_hash: custom values cannot be map keys\n");
        std::abort();
    }
    return hash;
}
