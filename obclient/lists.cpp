#include <algorithm>
#include <cstdint>

#include "obclient/accounting.h"
#include "obclient/obclient.h"
#include "obclient/records.h"

using obclient::RecordKind;

// The list's second word holds its capacity in items; the plug-in never reads it.
namespace {

constexpr uint64_t smallestListCapacity = 4;

size_t listBytes(uint64_t capacity)
{
    return obclient::recordBytes(RecordKind::List, sizeof(vlm_list_t), sizeof(vlm_data_t), capacity);
}

vlm_list_t* allocateList(uint64_t capacity)
{
    auto* list =
        static_cast<vlm_list_t*>(obclient::allocateRecord(RecordKind::List, listBytes(capacity), false));
    list->count = 0;
    list->reserved = capacity;
    return list;
}

} // namespace

vlm_list_t* obclient_list_new(uint64_t capacity)
{
    return allocateList(capacity);
}

void obclient_list_append(vlm_list_t** list, vlm_data_t item)
{
    if (*list == nullptr)
        *list = allocateList(smallestListCapacity);
    vlm_list_t* current = *list;
    if (current->count == current->reserved) {
        uint64_t capacity = std::max(current->reserved * 2, smallestListCapacity);
        current = static_cast<vlm_list_t*>(
            obclient::resizeRecord(RecordKind::List, current, listBytes(current->reserved),
                                   listBytes(capacity), "obclient_list_append"));
        current->reserved = capacity;
        *list = current;
    }
    vlm_list_items(current)[current->count++] = item;
}

void vlm_free_vector(vlm_list_t* list)
{
    if (list == nullptr)
        return;
    obclient::retireRecord(RecordKind::List, list, "vlm_free_vector");
    vlm_data_t* items = vlm_list_items(list);
    for (uint64_t i = 0; i < list->count; ++i)
        obclient_free_data(items[i]);
    obclient::freeRecordMemory(list);
}

namespace obclient {

vlm_list_t* copyList(const vlm_list_t* list)
{
    if (list == nullptr)
        return nullptr;
    vlm_list_t* copy = allocateList(list->count);
    const vlm_data_t* items = vlm_list_items(const_cast<vlm_list_t*>(list));
    vlm_data_t* copiedItems = vlm_list_items(copy);
    for (uint64_t i = 0; i < list->count; ++i)
        copiedItems[i] = vlm_copy_data(items[i]);
    copy->count = list->count;
    return copy;
}

} // namespace obclient
