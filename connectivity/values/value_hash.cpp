#include <cstring>
#include <stdexcept>

#include "connectivity/values/data_t.h"
#include "connectivity/values/list_t.h"
#include "connectivity/values/map_t.h"
#include "connectivity/values/value_errors.h"
#include "host/vlm_hash.h"
#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {
namespace {

std::uint64_t hashWord(std::uint64_t word, std::uint64_t seed)
{
    return vlm_murmur_hash64a(&word, sizeof word, seed);
}

std::uint64_t hashList(const list_t& list)
{
    std::uint64_t hash = MAP_HASH_SEED;
    for (const data_t& item : list)
        hash = hashValue(item, hash);
    return hash;
}

// Sums are order-independent, so equal maps hash alike whatever their slot order.
std::uint64_t hashMap(const map_t& map)
{
    std::uint64_t hash = MAP_HASH_SEED;
    for (const map_entry_t& entry : map) {
        std::uint64_t keySeed = MAP_HASH_SEED;
        std::uint64_t valueSeed = MAP_HASH_SEED;
        hash += hashValue(entry.first, keySeed) + hashValue(entry.second, valueSeed);
    }
    return hash;
}

std::uint64_t hashBuffer(const buffer_t& buffer)
{
    return vlm_murmur_hash64a(buffer.bytes(), buffer.length(), MAP_HASH_SEED);
}

} // namespace

std::uint64_t hashValue(const data_t& value, std::uint64_t& seed)
{
    const vlm_payload_t& payload = value.record().payload;
    switch (value.tag()) {
    case VLM_TAG_BOOLEAN:
        seed = payload.boolean != 0 ? seed : ~seed;
        break;
    case VLM_TAG_DOUBLE: {
        // +0.0 and -0.0 are equal, so they must hash alike.
        const double number = payload.number == 0.0 ? 0.0 : payload.number;
        std::uint64_t bits;
        std::memcpy(&bits, &number, sizeof bits);
        seed = hashWord(bits, seed);
        break;
    }
    case VLM_TAG_INTEGER:
    case VLM_TAG_DECIMAL:
        seed = hashWord(payload.bits, seed);
        break;
    case VLM_TAG_STRING:
    case VLM_TAG_BORROWED_STRING:
        seed = vlm_hash_string(stringText(payload));
        break;
    case VLM_TAG_LIST:
        seed = hashList(value.get<list_t>());
        break;
    case VLM_TAG_MAP:
        seed = hashMap(value.get<map_t>());
        break;
    case VLM_TAG_BUFFER:
        seed = hashBuffer(value.get<buffer_t>());
        break;
    case VLM_TAG_CUSTOM:
        throw std::runtime_error(errors::customAsKey);
    default:
        break;
    }
    return seed;
}

std::uint64_t keyHash(const data_t& key)
{
    std::uint64_t seed = MAP_HASH_SEED;
    return hashValue(key, seed);
}

} // namespace com::velmora::connectivity10_15_4
