#include "obclient/value_equality.h"

#include <cstring>

#include "obclient/map_probe.h"

namespace obclient {
namespace {

const char* textOf(const vlm_data_t& value)
{
    return value.payload.borrowed != nullptr ? value.payload.borrowed : "";
}

bool listsEqual(vlm_list_t* left, vlm_list_t* right)
{
    uint64_t leftCount = left != nullptr ? left->count : 0;
    uint64_t rightCount = right != nullptr ? right->count : 0;
    if (leftCount != rightCount)
        return false;
    for (uint64_t i = 0; i < leftCount; ++i) {
        if (!valuesEqual(vlm_list_items(left)[i], vlm_list_items(right)[i]))
            return false;
    }
    return true;
}

bool namesEqual(const char* left, const char* right)
{
    if (left == nullptr || right == nullptr)
        return left == right;
    return std::strcmp(left, right) == 0;
}

bool mapsEqual(vlm_map_table_t* left, vlm_map_table_t* right)
{
    uint64_t leftCount = left != nullptr ? left->count : 0;
    uint64_t rightCount = right != nullptr ? right->count : 0;
    if (leftCount != rightCount)
        return false;
    if (!namesEqual(left != nullptr ? left->name : nullptr, right != nullptr ? right->name : nullptr))
        return false;
    if (leftCount == 0)
        return true;
    vlm_map_slot_t* slots = vlm_map_slots(left);
    for (uint64_t i = 0; i < left->capacity; ++i) {
        if (!vlm::map_policy::isOccupiedSlot(slots[i]))
            continue;
        ProbeResult found = probeMap(right, slots[i].key, slots[i].hash);
        if (found.match == nullptr || !valuesEqual(slots[i].value, found.match->value))
            return false;
    }
    return true;
}

bool buffersEqual(vlm_buffer_t* left, vlm_buffer_t* right)
{
    uint64_t leftLength = left != nullptr ? left->length : 0;
    uint64_t rightLength = right != nullptr ? right->length : 0;
    if (leftLength != rightLength)
        return false;
    return leftLength == 0 || std::memcmp(vlm_buffer_bytes(left), vlm_buffer_bytes(right), leftLength) == 0;
}

} // namespace

bool valuesEqual(const vlm_data_t& left, const vlm_data_t& right)
{
    if (left.tag != right.tag)
        return false;
    switch (left.tag) {
    case VLM_TAG_EMPTY:
        return true;
    case VLM_TAG_BOOLEAN:
        return left.payload.boolean == right.payload.boolean;
    case VLM_TAG_DOUBLE:
        return left.payload.number == right.payload.number;
    case VLM_TAG_INTEGER:
    case VLM_TAG_DECIMAL:
        return left.payload.bits == right.payload.bits;
    case VLM_TAG_STRING:
    case VLM_TAG_BORROWED_STRING:
        return std::strcmp(textOf(left), textOf(right)) == 0;
    case VLM_TAG_LIST:
        return listsEqual(left.payload.list, right.payload.list);
    case VLM_TAG_MAP:
        return mapsEqual(left.payload.map, right.payload.map);
    case VLM_TAG_BUFFER:
        return buffersEqual(left.payload.buffer, right.payload.buffer);
    default:
        // Custom objects are never equal, and invalid tags equal nothing.
        return false;
    }
}

} // namespace obclient
