#include <algorithm>
#include <cstdint>
#include <cstring>

#include "obclient/accounting.h"
#include "obclient/map_probe.h"
#include "obclient/obclient.h"
#include "obclient/records.h"

using obclient::RecordKind;

namespace {

size_t tableBytes(uint64_t capacity)
{
    return obclient::recordBytes(RecordKind::Map, sizeof(vlm_map_table_t), sizeof(vlm_map_slot_t), capacity);
}

vlm_map_table_t* allocateTable(uint64_t capacity)
{
    auto* table =
        static_cast<vlm_map_table_t*>(obclient::allocateRecord(RecordKind::Map, tableBytes(capacity), true));
    table->capacity = capacity;
    return table;
}

// Only called while re-placing into a table without erased slots, where the
// keys are known to be distinct.
void placeEntry(vlm_map_table_t* table, const vlm_map_slot_t& entry)
{
    vlm_map_slot_t* slots = vlm_map_slots(table);
    uint64_t index = vlm::map_policy::probeStart(entry.hash, table->capacity);
    while (!vlm::map_policy::isEmptySlot(slots[index]))
        index = vlm::map_policy::nextSlot(index, table->capacity);
    slots[index] = entry;
}

// Strings, most of what a map holds, are released in the walk itself when their
// accounting can wait, and counted once for all of them at the end.
class EntryReleaser {
public:
    void release(const vlm_data_t& held)
    {
        if (held.tag == VLM_TAG_STRING && countStringsAtEnd_ && held.payload.string != nullptr) {
            obclient::freeRecordMemory(held.payload.string);
            ++stringsReleased_;
            return;
        }
        obclient_free_data(held);
    }

    void finish()
    {
        if (countStringsAtEnd_)
            obclient::countReleasedOnFastPath(RecordKind::String, stringsReleased_);
    }

private:
    const bool countStringsAtEnd_ = obclient::counting::onFastPath();
    uint64_t stringsReleased_ = 0;
};

// Stops at the last entry: a table a plug-in emptied by taking its entries is
// released without reading its slots, which are cold by then. Inlined, so that
// releasing a map, most often one nested in another, sets up one frame, not two.
[[gnu::always_inline]] inline void releaseEntries(vlm_map_table_t* table)
{
    EntryReleaser releaser;
    const vlm_map_slot_t* slots = vlm_map_slots(table);
    for (uint64_t i = 0, left = table->count; left != 0 && i < table->capacity; ++i) {
        if (!vlm::map_policy::isOccupiedSlot(slots[i]))
            continue;
        releaser.release(slots[i].key);
        releaser.release(slots[i].value);
        --left;
    }
    releaser.finish();
}

} // namespace

vlm_map_table_t* vlm_allocate_map(uint64_t capacity)
{
    return allocateTable(capacity);
}

vlm_map_table_t* vlm_reallocate_map(vlm_map_table_t* table, uint64_t capacity)
{
    if (table == nullptr)
        return allocateTable(capacity);
    obclient::retireRecord(RecordKind::Map, table, "vlm_reallocate_map");
    // A capacity below the count would lose entries; the smallest that holds them is used instead.
    vlm_map_table_t* grown = allocateTable(std::max(capacity, table->count));
    grown->name = table->name;
    grown->count = table->count;
    vlm_map_slot_t* slots = vlm_map_slots(table);
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (vlm::map_policy::isOccupiedSlot(slots[i]))
            placeEntry(grown, slots[i]);
    }
    obclient::freeRecordMemory(table);
    return grown;
}

void vlm_free_map(vlm_map_table_t* table)
{
    if (table == nullptr)
        return;
    obclient::retireRecord(RecordKind::Map, table, "vlm_free_map");
    releaseEntries(table);
    vlm_free_string(table->name);
    obclient::freeRecordMemory(table);
}

namespace obclient {

// Slot for slot, erased markers included, so the copy probes exactly like the original.
vlm_map_table_t* copyMapTable(const vlm_map_table_t* table)
{
    if (table == nullptr)
        return nullptr;
    vlm_map_table_t* copy = allocateTable(table->capacity);
    copy->name = vlm_copy_string(table->name);
    copy->count = table->count;
    copy->erased = table->erased;
    const vlm_map_slot_t* slots = vlm_map_slots(const_cast<vlm_map_table_t*>(table));
    vlm_map_slot_t* copiedSlots = vlm_map_slots(copy);
    for (uint64_t i = 0; i < table->capacity; ++i) {
        copiedSlots[i].hash = slots[i].hash;
        if (!vlm::map_policy::isOccupiedSlot(slots[i]))
            continue;
        copiedSlots[i].key = vlm_copy_data(slots[i].key);
        copiedSlots[i].value = vlm_copy_data(slots[i].value);
    }
    return copy;
}

} // namespace obclient
