// Containers as map keys. The hash of every kind is checked against independent
// vectors, on both sides of the boundary, in tests/values/equality_hash_test.cpp.
#include <gtest/gtest.h>

#include "tests/support/host_test.h"

namespace {

using KeyHashTest = testing_support::HostTest;

TEST_F(KeyHashTest, ContainersAsKeysAreFoundByEqualCopies)
{
    vlm_map_table_t* keyMap = nullptr;
    obclient_map_insert_string(&keyMap, "x", obclient_integer(1));
    vlm_list_t* keyList = nullptr;
    obclient_list_append(&keyList, obclient_string("item"));
    vlm_map_table_t* table = nullptr;
    ASSERT_EQ(obclient_map_insert(&table, obclient_map_value(keyMap), obclient_integer(10)), 1);
    ASSERT_EQ(obclient_map_insert(&table, obclient_list_value(keyList), obclient_integer(20)), 1);

    vlm_data_t probeMap = vlm_copy_data(obclient_map_value(keyMap));
    vlm_data_t probeList = vlm_copy_data(obclient_list_value(keyList));
    EXPECT_EQ(obclient_map_find(table, probeMap)->payload.integer, 10);
    EXPECT_EQ(obclient_map_find(table, probeList)->payload.integer, 20);
    // A name makes maps unequal even though it does not enter the hash.
    obclient_map_set_name(&probeMap.payload.map, "other");
    EXPECT_EQ(obclient_map_find(table, probeMap), nullptr);
    obclient_free_data(probeMap);
    obclient_free_data(probeList);
    vlm_free_map(table);
}

} // namespace
