#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <vector>

#include "connectivity/values/map_t.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;
using testing_support::integerKeyLandingAt;

namespace {

class MapTable : public testing_support::HostTest {};

std::vector<std::int64_t> integerKeysInIterationOrder(const cv::map_t& map)
{
    std::vector<std::int64_t> keys;
    for (const cv::map_entry_t& entry : map)
        keys.push_back(entry.first.get<std::int64_t>());
    return keys;
}

// Every occupied slot must be reachable from its home slot without crossing an empty one.
void expectProbeInvariant(const cv::map_t& map)
{
    vlm_map_table_t* table = map.table();
    if (table == nullptr)
        return;
    vlm_map_slot_t* slots = vlm_map_slots(table);
    for (std::uint64_t i = 0; i < table->capacity; ++i) {
        const vlm_map_slot_t& slot = slots[i];
        const bool occupied = !(slot.key.tag == VLM_TAG_EMPTY && slot.hash <= 1);
        if (!occupied)
            continue;
        for (std::uint64_t at = slot.hash % table->capacity; at != i; at = (at + 1) % table->capacity) {
            const vlm_map_slot_t& step = slots[at];
            ASSERT_FALSE(step.key.tag == VLM_TAG_EMPTY && step.hash == 0) << "slot " << i << " unreachable";
        }
    }
}

TEST_F(MapTable, NullTableAllocatesOnlyWhenWritten)
{
    cv::map_t map;
    const obclient_counts_t before = obclient_live_counts();
    EXPECT_EQ(map.find(cv::data_t("absent")), map.end());
    EXPECT_EQ(map.size(), 0u);
    EXPECT_EQ(obclient_live_counts().maps, before.maps);

    map[cv::data_t("k")] = cv::data_t(std::int64_t{1});
    ASSERT_NE(map.table(), nullptr);
    EXPECT_EQ(map.capacity(), 8u);
    EXPECT_EQ(map.size(), 1u);
}

TEST_F(MapTable, GrowsPastTheLoadLimitAndIteratesInSlotOrder)
{
    cv::map_t map(8);
    for (std::int64_t key = 0; key < 7; ++key)
        EXPECT_TRUE(map.insert(cv::data_t(key), cv::data_t(key * 10)).second);
    EXPECT_EQ(map.capacity(), 8u) << "seven entries fit under the 0.75 limit of eight slots";

    map.insert(cv::data_t(std::int64_t{7}), cv::data_t(std::int64_t{70}));
    EXPECT_EQ(map.capacity(), 16u);
    EXPECT_EQ(map.table()->erased, 0u);

    std::vector<std::int64_t> keys = integerKeysInIterationOrder(map);
    ASSERT_EQ(keys.size(), 8u);
    std::vector<std::uint64_t> slotsVisited;
    for (auto it = map.begin(); it != map.end(); ++it)
        slotsVisited.push_back(it.slotIndex());
    EXPECT_TRUE(std::is_sorted(slotsVisited.begin(), slotsVisited.end()));
    for (std::int64_t key = 0; key < 8; ++key) {
        auto it = map.find(cv::data_t(key));
        ASSERT_NE(it, map.end());
        EXPECT_EQ(it->second.get<std::int64_t>(), key * 10);
    }
    expectProbeInvariant(map);
}

TEST_F(MapTable, ErasedSlotIsReusedAndCountedUntilGrowth)
{
    cv::map_t map(8);
    const std::int64_t first = integerKeyLandingAt(3, 8);
    const std::int64_t second = integerKeyLandingAt(3, 8, first + 1);
    map.insert(cv::data_t(first), cv::data_t("a"));
    auto it = map.find(cv::data_t(first));
    ASSERT_EQ(it.slotIndex(), 3u);
    map.erase(it);
    EXPECT_EQ(map.size(), 0u);
    EXPECT_EQ(map.table()->erased, 1u);
    EXPECT_EQ(vlm_map_slots(map.table())[3].hash, 1u);

    auto inserted = map.insert(cv::data_t(second), cv::data_t("b"));
    EXPECT_EQ(inserted.first.slotIndex(), 3u) << "the erased slot on the probe path is reused";
    EXPECT_EQ(map.table()->erased, 1u) << "reuse does not reduce the erase count";

    map.erase(map.end());
    EXPECT_EQ(map.size(), 1u);
}

TEST_F(MapTable, ProbingWrapsFromTheLastSlot)
{
    cv::map_t map(8);
    const std::int64_t a = integerKeyLandingAt(7, 8);
    const std::int64_t b = integerKeyLandingAt(7, 8, a + 1);
    const std::int64_t c = integerKeyLandingAt(7, 8, b + 1);
    map.insert(cv::data_t(a), cv::data_t(std::int64_t{1}));
    map.insert(cv::data_t(b), cv::data_t(std::int64_t{2}));
    map.insert(cv::data_t(c), cv::data_t(std::int64_t{3}));
    EXPECT_EQ(map.find(cv::data_t(a)).slotIndex(), 7u);
    EXPECT_EQ(map.find(cv::data_t(b)).slotIndex(), 0u);
    EXPECT_EQ(map.find(cv::data_t(c)).slotIndex(), 1u);

    // Erasing the middle of the chain must not cut off the entry behind it.
    map.erase(map.find(cv::data_t(b)));
    ASSERT_NE(map.find(cv::data_t(c)), map.end());
    EXPECT_EQ(map.find(cv::data_t(c))->second.get<std::int64_t>(), 3);
    expectProbeInvariant(map);
}

TEST_F(MapTable, ElementAccessAndNullKeys)
{
    cv::map_t map;
    EXPECT_THROW(
        {
            try {
                map[cv::data_t()];
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Cannot have a null key");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_EQ(map.table(), nullptr) << "a refused key allocates nothing";

    const cv::data_t emptyKey;
    map[emptyKey] = cv::data_t("by const key");
    EXPECT_EQ(vlm_map_slots(map.table())[cv::MAP_HASH_SEED % 8].hash, cv::MAP_HASH_SEED);
    EXPECT_TRUE(map.insert(cv::data_t(), cv::data_t("again")).second == false);
    EXPECT_STREQ(map.find(cv::data_t())->second.get<const char*>(), "by const key");

    const cv::data_t key("k");
    map[key] = cv::data_t(std::int64_t{5});
    map[key] = cv::data_t(std::int64_t{6});
    EXPECT_EQ(map.size(), 2u);
    EXPECT_EQ(map[key].get<std::int64_t>(), 6);
    EXPECT_TRUE(key.isString()) << "access by constant key leaves the key alone";
}

// What conversions use to carry a key over from one map to another without copying it.
TEST_F(MapTable, ExtractAndAccessByAHandedOverKeyMoveRatherThanCopy)
{
    cv::map_t notification;
    notification.insert(cv::data_t("time"), cv::data_t("noon"));
    const std::int64_t liveStrings = obclient_live_counts().strings;

    std::pair<cv::data_t, cv::data_t> entry = notification.extract(notification.find(cv::data_t("time")));
    EXPECT_STREQ(entry.first.get<const char*>(), "time");
    EXPECT_STREQ(entry.second.get<const char*>(), "noon");
    EXPECT_EQ(notification.size(), 0u);
    EXPECT_EQ(notification.table()->erased, 1u) << "the slot is left erased, as erase leaves it";
    EXPECT_EQ(obclient_live_counts().strings, liveStrings) << "nothing was released or copied";
    EXPECT_TRUE(notification.extract(notification.end()).first.empty());

    const std::uint64_t hash = cv::keyHash(entry.first);
    const char* keyText = entry.first.get<const char*>();
    cv::map_t event;
    event.findOrInsert(std::move(entry.first), hash) = std::move(entry.second);
    EXPECT_EQ(event.begin()->first.get<const char*>(), keyText) << "the key itself was stored";
    EXPECT_EQ(obclient_live_counts().strings, liveStrings);

    // A key already there keeps its slot; the one handed over is released.
    event.findOrInsert(cv::data_t("time"), hash) = cv::data_t(std::int64_t{12});
    EXPECT_EQ(event.size(), 1u);
    EXPECT_EQ(event.begin()->first.get<const char*>(), keyText);
    EXPECT_EQ(event.begin()->second.get<std::int64_t>(), 12);
    EXPECT_EQ(obclient_live_counts().strings, liveStrings - 1);
}

TEST_F(MapTable, CustomKeysAreRefused)
{
    cv::map_t map;
    cv::data_t custom = cv::data_t::adopt(obclient_custom(nullptr, nullptr, nullptr));
    EXPECT_THROW(map.insert(std::move(custom), cv::data_t(true)), std::runtime_error);
    EXPECT_EQ(map.size(), 0u);
}

// Random inserts, lookups and erasures checked after every step against std::map.
TEST_F(MapTable, AgreesWithAReferenceContainerUnderRandomOperations)
{
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> keyOf(0, 60);
    std::uniform_int_distribution<int> action(0, 9);
    cv::map_t map;
    std::map<std::int64_t, std::int64_t> reference;
    for (int step = 0; step < 4000; ++step) {
        const std::int64_t key = keyOf(random);
        const int what = action(random);
        if (what < 5) {
            const bool fresh = map.insert(cv::data_t(key), cv::data_t(std::int64_t{step})).second;
            EXPECT_EQ(fresh, reference.emplace(key, step).second);
        } else if (what < 8) {
            map.erase(map.find(cv::data_t(key)));
            reference.erase(key);
        } else {
            map[cv::data_t(key)] = cv::data_t(std::int64_t{-step});
            reference[key] = -step;
        }
        ASSERT_EQ(map.size(), reference.size()) << "step " << step;
        if (map.table() != nullptr) {
            ASSERT_LE(map.table()->count + map.table()->erased, map.table()->capacity);
        }
    }
    for (const auto& [key, value] : reference) {
        auto it = map.find(cv::data_t(key));
        ASSERT_NE(it, map.end());
        EXPECT_EQ(it->second.get<std::int64_t>(), value);
    }
    expectProbeInvariant(map);

    const cv::map_t copy(map);
    EXPECT_EQ(copy, map);
    EXPECT_EQ(copy.table()->erased, 0u);
}

TEST_F(MapTable, CopiesAreDeepAndKeepTheName)
{
    cv::map_t original(0, "devices");
    original.insert(cv::data_t("list"), testing_support::listOf({obclient_string("x")}));
    original.insert(cv::data_t("n"), cv::data_t(std::int64_t{1}));
    cv::map_t copy(original);
    EXPECT_STREQ(copy.name(), "devices");
    EXPECT_NE(copy.table(), original.table());
    EXPECT_NE(copy.find(cv::data_t("list"))->second.record().payload.list,
              original.find(cv::data_t("list"))->second.record().payload.list);
    original = cv::map_t();
    EXPECT_EQ(copy.size(), 2u);

    cv::map_t moved(std::move(copy));
    EXPECT_EQ(copy.table(), nullptr);
    EXPECT_EQ(moved.size(), 2u);
}

} // namespace
