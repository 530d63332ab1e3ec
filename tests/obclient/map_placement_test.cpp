// Maps the host stand-in builds: its own insertion on the shared table layout,
// probing and hashing as the plug-in does, so either side finds what the other stored.
// Growth is compared slot by slot with the plug-in's in tests/values/map_table_test.cpp, and the
// hash of every kind against independent vectors in tests/values/equality_hash_test.cpp.

#include <cmath>

#include "tests/support/host_test.h"

namespace {

using MapPlacementTest = testing_support::HostTest;

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

TEST_F(MapPlacementTest, ContainersAsKeysAreFoundByEqualCopies)
{
    vlm_map_table_t* keyMap = nullptr;
    obclient_map_insert_string(&keyMap, "x", obclient_integer(1));
    vlm_list_t* keyList = nullptr;
    obclient_list_append(&keyList, obclient_string("item"));
    vlm_map_table_t* table = nullptr;
    ASSERT_EQ(obclient_map_insert(&table, obclient_map_value(keyMap), obclient_integer(10)), 1);
    ASSERT_EQ(obclient_map_insert(&table, obclient_list_value(keyList), obclient_integer(20)), 1);
    const unsigned char bytes[] = {1, 2, 3};
    ASSERT_EQ(obclient_map_insert(&table, obclient_buffer(bytes, sizeof bytes), obclient_integer(40)), 1);
    // A map without a table is empty, and equal to any other such map.
    ASSERT_EQ(obclient_map_insert(&table, obclient_map_value(nullptr), obclient_integer(30)), 1);
    EXPECT_EQ(obclient_map_find(table, obclient_map_value(nullptr))->payload.integer, 30);

    vlm_data_t probeMap = vlm_copy_data(obclient_map_value(keyMap));
    vlm_data_t probeList = vlm_copy_data(obclient_list_value(keyList));
    EXPECT_EQ(obclient_map_find(table, probeMap)->payload.integer, 10);
    EXPECT_EQ(obclient_map_find(table, probeList)->payload.integer, 20);
    const vlm_data_t probeBuffer = obclient_buffer(bytes, sizeof bytes);
    EXPECT_EQ(obclient_map_find(table, probeBuffer)->payload.integer, 40);
    obclient_free_data(probeBuffer);
    // A name makes maps unequal even though it does not enter the hash.
    obclient_map_set_name(&probeMap.payload.map, "other");
    EXPECT_EQ(obclient_map_find(table, probeMap), nullptr);
    obclient_free_data(probeMap);
    obclient_free_data(probeList);
    vlm_free_map(table);
}

} // namespace
