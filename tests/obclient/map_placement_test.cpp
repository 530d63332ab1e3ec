// Maps the host stand-in builds: its own insertion on the shared table layout,
// probing and hashing as the plug-in does, so either side finds what the other stored.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "tests/support/host_test.h"

namespace {

using MapPlacementTest = testing_support::HostTest;

bool slotEmpty(const vlm_map_slot_t& slot)
{
    return slot.hash == VLM_SLOT_EMPTY_HASH && slot.key.tag == VLM_TAG_EMPTY;
}

bool slotOccupied(const vlm_map_slot_t& slot)
{
    return slot.key.tag != VLM_TAG_EMPTY || slot.hash > VLM_SLOT_ERASED_HASH;
}

uint64_t emptySlots(vlm_map_table_t* table)
{
    uint64_t empty = 0;
    for (uint64_t i = 0; i < table->capacity; ++i)
        empty += slotEmpty(vlm_map_slots(table)[i]) ? 1 : 0;
    return empty;
}

// The plug-in finds an entry only if no empty slot lies between its home slot and it.
void expectEveryEntryReachable(vlm_map_table_t* table)
{
    vlm_map_slot_t* slots = vlm_map_slots(table);
    uint64_t occupied = 0;
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (!slotOccupied(slots[i]))
            continue;
        ++occupied;
        EXPECT_EQ(slots[i].hash, obclient_key_hash(slots[i].key));
        for (uint64_t at = slots[i].hash % table->capacity; at != i; at = (at + 1) % table->capacity)
            ASSERT_FALSE(slotEmpty(slots[at])) << "slot " << i << " cut off at " << at;
    }
    EXPECT_EQ(occupied, table->count);
}

// What the plug-in's erase leaves behind.
void eraseEntry(vlm_map_table_t* table, vlm_data_t key)
{
    vlm_data_t* value = obclient_map_find(table, key);
    ASSERT_NE(value, nullptr);
    auto* slot =
        reinterpret_cast<vlm_map_slot_t*>(reinterpret_cast<char*>(value) - offsetof(vlm_map_slot_t, value));
    obclient_free_data(slot->key);
    obclient_free_data(slot->value);
    slot->key = vlm_data_t{};
    slot->value = vlm_data_t{};
    slot->hash = VLM_SLOT_ERASED_HASH;
    --table->count;
    ++table->erased;
}

TEST_F(MapPlacementTest, GrowsAtTheLoadLimitAndKeepsEveryEntryFindableAndTheName)
{
    // Insertions that find the table past three quarters full, and the capacity they grow it to.
    const std::map<int64_t, uint64_t> growths = {{8, 16}, {14, 28}, {23, 46}, {36, 72}};
    vlm_map_table_t* table = nullptr;
    obclient_map_set_name(&table, "status");
    uint64_t capacity = 8;
    for (int64_t i = 0; i < 40; ++i) {
        ASSERT_EQ(obclient_map_insert(&table, obclient_integer(i), obclient_integer(i * 10)), 1);
        auto growth = growths.find(i + 1);
        if (growth != growths.end())
            capacity = growth->second;
        ASSERT_EQ(table->capacity, capacity) << "after insertion " << i + 1;
    }
    EXPECT_STREQ(table->name, "status");
    expectEveryEntryReachable(table);
    for (int64_t i = 0; i < 40; ++i) {
        vlm_data_t* value = obclient_map_find(table, obclient_integer(i));
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->payload.integer, i * 10);
    }
    EXPECT_EQ(obclient_map_find(table, obclient_integer(40)), nullptr);
    vlm_free_map(table);
}

TEST_F(MapPlacementTest, ErasedSlotsAreReusedAndForgottenOnGrowth)
{
    vlm_map_table_t* table = nullptr;
    for (int64_t i = 0; i < 6; ++i)
        obclient_map_insert(&table, obclient_integer(i), obclient_string("v"));
    eraseEntry(table, obclient_integer(2));
    eraseEntry(table, obclient_integer(4));
    EXPECT_EQ(obclient_map_find(table, obclient_integer(2)), nullptr);
    EXPECT_NE(obclient_map_find(table, obclient_integer(5)), nullptr);

    // 4 + 2 erased = 6 of 8 is still within the limit; the erased count stays.
    const uint64_t emptyBefore = emptySlots(table);
    ASSERT_EQ(obclient_map_insert(&table, obclient_integer(2), obclient_string("again")), 1);
    EXPECT_EQ(table->capacity, 8u);
    EXPECT_EQ(emptySlots(table), emptyBefore) << "an erased slot on the probe path was not reused";
    EXPECT_EQ(table->erased, 2u);

    // 5 + 2 erased passes it: growth re-places the entries and drops the markers.
    ASSERT_EQ(obclient_map_insert(&table, obclient_integer(40), obclient_string("grown")), 1);
    EXPECT_EQ(table->capacity, 12u);
    EXPECT_EQ(table->erased, 0u);
    EXPECT_EQ(table->count, 6u);
    expectEveryEntryReachable(table);
    EXPECT_STREQ(obclient_map_find(table, obclient_integer(2))->payload.string, "again");
    EXPECT_EQ(obclient_map_find(table, obclient_integer(4)), nullptr);
    vlm_free_map(table);
}

TEST_F(MapPlacementTest, KeysMatchByTagAndValueAndCustomKeysAreRefused)
{
    vlm_map_table_t* table = nullptr;
    EXPECT_EQ(obclient_map_insert(&table, obclient_string("1"), obclient_integer(1)), 1);
    EXPECT_EQ(obclient_map_insert(&table, obclient_integer(1), obclient_integer(2)), 1);
    EXPECT_EQ(obclient_map_insert(&table, obclient_double(0.0), obclient_integer(3)), 1);
    // A duplicate key is refused, and the key and value handed over are released.
    EXPECT_EQ(obclient_map_insert(&table, obclient_double(-0.0), obclient_string("dropped")), 0);
    EXPECT_EQ(obclient_map_insert(&table, obclient_double(NAN), obclient_integer(4)), 1);
    EXPECT_EQ(obclient_map_insert(&table, obclient_double(NAN), obclient_integer(5)), 1);
    EXPECT_EQ(table->count, 5u);
    EXPECT_EQ(obclient_map_find(table, obclient_double(-0.0))->payload.integer, 3);
    EXPECT_EQ(obclient_map_find(table, obclient_double(NAN)), nullptr);
    EXPECT_EQ(obclient_map_find(table, obclient_borrowed_string("1")), nullptr);
    vlm_free_map(table);

    // Nothing is taken: key and value stay with the caller.
    vlm_map_table_t* none = nullptr;
    vlm_data_t key = obclient_custom(nullptr, nullptr, nullptr);
    vlm_data_t value = obclient_string("kept by the caller");
    EXPECT_EQ(obclient_map_insert(&none, key, value), -1);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(obclient_map_find(none, key), nullptr);
    obclient_free_data(key);
    obclient_free_data(value);
}

} // namespace
