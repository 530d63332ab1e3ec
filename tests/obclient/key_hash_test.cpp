#include <gtest/gtest.h>

#include "host/vlm_hash.h"
#include "tests/support/host_test.h"

namespace {

using KeyHashTest = testing_support::HostTest;

// Expected numbers come from a separate Python implementation of MurmurHash64A
// written from the published algorithm, run once by hand with seed 0x243FCAF1;
// the C code under test was not consulted.
TEST_F(KeyHashTest, MatchesIndependentlyComputedVectors)
{
    EXPECT_EQ(vlm_hash_string(""), UINT64_C(0xe36925ae8296b197));
    EXPECT_EQ(vlm_hash_string("a"), UINT64_C(0x60455235038d56cb));
    EXPECT_EQ(vlm_hash_string("hello, world"), UINT64_C(0x1191ee7ca4909c2e));
    EXPECT_EQ(vlm_hash_string("pulsarPath"), UINT64_C(0xde67c96f0ad7c7c8));

    EXPECT_EQ(obclient_key_hash(obclient_integer(1)), UINT64_C(0x47f9af630b2e90d9));
    EXPECT_EQ(obclient_key_hash(obclient_integer(-1)), UINT64_C(0x099c106fdb5f42e2));
    EXPECT_EQ(obclient_key_hash(obclient_decimal(0x3000000000000001)), UINT64_C(0xc741a3d4f0dd9f97));
    EXPECT_EQ(obclient_key_hash(obclient_double(1.5)), UINT64_C(0x3b850963fc2e9208));
    EXPECT_EQ(obclient_key_hash(obclient_double(0.0)), UINT64_C(0xd3a7101d1b4ebc20));
    EXPECT_EQ(obclient_key_hash(obclient_double(-0.0)), UINT64_C(0xd3a7101d1b4ebc20));
    EXPECT_EQ(obclient_key_hash(obclient_boolean(true)), VLM_MAP_HASH_SEED);
    EXPECT_EQ(obclient_key_hash(obclient_boolean(false)), UINT64_C(0xffffffffdbc0350e));
    EXPECT_EQ(obclient_key_hash(vlm_data_t{}), VLM_MAP_HASH_SEED);
    EXPECT_EQ(obclient_key_hash(obclient_borrowed_string("a")), UINT64_C(0x60455235038d56cb));

    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    vlm_data_t buffer = obclient_buffer(bytes, sizeof bytes);
    EXPECT_EQ(obclient_key_hash(buffer), UINT64_C(0xbef5ffa86abac23b));
    obclient_free_data(buffer);
}

TEST_F(KeyHashTest, ListsChainTheirItems)
{
    EXPECT_EQ(obclient_key_hash(obclient_list_value(nullptr)), VLM_MAP_HASH_SEED);
    const struct {
        vlm_data_t first;
        vlm_data_t second;
        uint64_t hash;
    } cases[] = {
        {obclient_integer(1), obclient_integer(2), UINT64_C(0xc6016c126b1a0fbf)},
        {obclient_boolean(true), obclient_integer(7), UINT64_C(0xc1e7c17d14338e51)},
        {obclient_boolean(false), obclient_integer(7), UINT64_C(0x505c4892466612bd)},
        // A string ignores the running seed.
        {obclient_integer(1), obclient_borrowed_string("a"), UINT64_C(0x60455235038d56cb)},
    };
    for (const auto& c : cases) {
        vlm_list_t* list = nullptr;
        obclient_list_append(&list, c.first);
        obclient_list_append(&list, c.second);
        EXPECT_EQ(obclient_key_hash(obclient_list_value(list)), c.hash);
        vlm_free_vector(list);
    }
}

TEST_F(KeyHashTest, MapHashIgnoresPlacementAndName)
{
    vlm_map_table_t* small = nullptr;
    obclient_map_insert_string(&small, "a", obclient_integer(1));
    obclient_map_insert_string(&small, "b", obclient_double(2.5));
    vlm_map_table_t* large = obclient_map_new(64);
    obclient_map_set_name(&large, "named");
    obclient_map_insert_string(&large, "b", obclient_double(2.5));
    obclient_map_insert_string(&large, "a", obclient_integer(1));

    EXPECT_EQ(obclient_key_hash(obclient_map_value(small)), UINT64_C(0x649ff9a4b4ec52ad));
    EXPECT_EQ(obclient_key_hash(obclient_map_value(large)), UINT64_C(0x649ff9a4b4ec52ad));
    EXPECT_EQ(obclient_key_hash(obclient_map_value(nullptr)), VLM_MAP_HASH_SEED);
    vlm_free_map(small);
    vlm_free_map(large);
}

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
