
#include <map>
#include <random>
#include <set>

#include "connectivity/values/key_set.h"
#include "connectivity/values/map_t.h"
#include "connectivity/values/static_string.h"
#include "host/map_policy.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;
using testing_support::integerKeyLandingAt;

namespace {

class MapTable : public testing_support::HostTest {};

// The host reads the tables the plug-in grows, so the plug-in keeps the host's layout rule:
// grow when entries plus erased slots pass three quarters, to twice the live entries plus two.
TEST_F(MapTable, GrowsByTheHostsLayoutRule)
{
    // Entries inserted so far, and the capacity they leave.
    const std::pair<std::int64_t, std::uint64_t> steps[] = {{7, 8},   {8, 16},  {13, 16}, {14, 28},
                                                            {22, 28}, {23, 46}, {36, 72}};
    cv::map_t map(8);
    std::int64_t next = 0;
    for (const auto& [entries, capacity] : steps) {
        for (; next < entries; ++next)
            EXPECT_TRUE(map.insert(cv::data_t(next), cv::data_t(next * 10)).second);
        EXPECT_EQ(map.capacity(), capacity) << entries << " entries";
    }

    // Erased slots count against the limit, but growth is sized by the live entries alone.
    cv::map_t churned(8);
    for (const std::int64_t key : {0, 1, 2, 3, 4, 5, -2, -4, 40, 41}) {
        EXPECT_EQ(churned.capacity(), 8u) << "before " << key;
        if (key < 0)
            churned.erase(churned.find(cv::data_t(-key)));
        else
            churned.insert(cv::data_t(key), cv::data_t(key));
    }
    EXPECT_EQ(churned.capacity(), 12u);
    EXPECT_EQ(churned.table()->erased, 0u);
    EXPECT_EQ(churned.size(), 6u);
}

TEST_F(MapTable, AnErasedSlotIsMarkedAndReusedByTheNextKeyProbingPastIt)
{
    cv::map_t map(8);
    const std::int64_t first = integerKeyLandingAt(3, 8);
    const std::int64_t second = integerKeyLandingAt(3, 8, first + 1);
    map.insert(cv::data_t(first), cv::data_t("a"));
    map.erase(map.find(cv::data_t(first)));
    EXPECT_EQ(vlm_map_slots(map.table())[3].hash, 1u);
    EXPECT_EQ(map.insert(cv::data_t(second), cv::data_t("b")).first.slotIndex(), 3u);
    EXPECT_EQ(map.table()->erased, 1u) << "reuse does not reduce the erase count";
    map.erase(map.end());
    EXPECT_EQ(map.size(), 1u);

    // A probe past the last slot goes on at the first.
    const std::int64_t last = integerKeyLandingAt(7, 8);
    map.insert(cv::data_t(last), cv::data_t("c"));
    EXPECT_EQ(map.insert(cv::data_t(integerKeyLandingAt(7, 8, last + 1)), cv::data_t("d")).first.slotIndex(),
              0u);
}

TEST_F(MapTable, ElementAccessOnANullTableAndNullKeys)
{
    cv::map_t map;
    EXPECT_EQ(map.find(cv::data_t("absent")), map.end());
    EXPECT_EQ(testing_support::errorOf([&] { map[cv::data_t()]; }), "Cannot have a null key");
    EXPECT_EQ(map.table(), nullptr) << "a refused key allocates nothing";

    const cv::data_t emptyKey;
    map[emptyKey] = cv::data_t("by const key");
    EXPECT_FALSE(map.insert(cv::data_t(), cv::data_t("again")).second);
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
    std::pair<cv::data_t, cv::data_t> entry = notification.extract(notification.find(cv::data_t("time")));
    EXPECT_STREQ(entry.first.get<const char*>(), "time");
    EXPECT_STREQ(entry.second.get<const char*>(), "noon");
    EXPECT_EQ(notification.size(), 0u);
    EXPECT_EQ(notification.table()->erased, 1u) << "the slot is left erased, as erase leaves it";
    EXPECT_TRUE(notification.extract(notification.end()).first.empty());

    const std::uint64_t hash = cv::keyHash(entry.first);
    const char* keyText = entry.first.get<const char*>();
    cv::map_t event;
    event.findOrInsert(std::move(entry.first), hash) = std::move(entry.second);
    EXPECT_EQ(event.begin()->first.get<const char*>(), keyText) << "the key itself was stored";

    // A key already there keeps its slot; the one handed over is released.
    event.findOrInsert(cv::data_t("time"), hash) = cv::data_t(std::int64_t{12});
    EXPECT_EQ(event.size(), 1u);
    EXPECT_EQ(event.begin()->first.get<const char*>(), keyText);
    EXPECT_EQ(event.begin()->second.get<std::int64_t>(), 12);
}

// Leftovers and measurement series are moved on by draining their map: each entry once, in slot order.
TEST_F(MapTable, DrainHandsOverEveryEntryInSlotOrderAndKeepsTheRestWhenTakeThrows)
{
    const auto build = [] {
        cv::map_t map;
        for (const char* key : {"id", "self", "type", "text", "time", "history", "count", "status", "source"})
            map.insert(cv::data_t(key), cv::data_t((std::string(key) + "!").c_str()));
        return map;
    };
    cv::map_t map = build();
    std::vector<std::pair<std::string, std::uint64_t>> expected;
    for (const cv::map_entry_t& entry : map)
        expected.emplace_back(entry.first.get<const char*>(), entry.hash);

    std::vector<std::pair<std::string, std::uint64_t>> taken;
    std::vector<std::pair<cv::data_t, cv::data_t>> kept;
    map.drain([&](std::pair<cv::data_t, cv::data_t>&& entry, std::uint64_t hash) {
        taken.emplace_back(entry.first.get<const char*>(), hash);
        EXPECT_EQ(entry.second.get<const char*>(), taken.back().first + "!");
        kept.push_back(std::move(entry));
    });
    EXPECT_EQ(taken, expected);
    EXPECT_EQ(map.table(), nullptr);
    kept.clear();

    // What was not handed over stays for the map to release, once: the fixture's accounting checks it.
    cv::map_t failing = build();
    std::size_t handedOver = 0;
    EXPECT_THROW(failing.drain([&handedOver](std::pair<cv::data_t, cv::data_t>&&, std::uint64_t) {
        if (++handedOver == 3)
            throw std::runtime_error("refused");
    }),
                 std::runtime_error);
    EXPECT_EQ(failing.size(), expected.size()) << "the table is still the map's";
}

// A key set names a member from a window of the hash alone: locate must still compare the hash and the key.
TEST_F(MapTable, LocateFindsEachMemberOfAKeySetAndNothingElse)
{
    const cv::StaticString id("id"), source("source"), time("time"), text("text"), status("status");
    const cv::KeySet keys({&id, &source, &time, &text, &status});
    cv::map_t notification;
    for (const char* key : {"self", "source", "type", "status", "history"})
        notification[cv::data_t(key)] = cv::data_t(key);
    notification.findOrInsert(cv::data_t("forged"), time.hash()) = cv::data_t("not the time");
    std::size_t slots[cv::KeySet::maxKeys];
    notification.locate(keys, slots);
    const std::size_t absent = notification.capacity();
    EXPECT_EQ(slots[0], absent);
    EXPECT_EQ(slots[2], absent) << "the forged entry shares only the hash of \"time\"";
    EXPECT_EQ(slots[3], absent);
    for (const std::size_t member : {1, 4}) {
        ASSERT_NE(slots[member], absent) << keys[member].text();
        EXPECT_STREQ(vlm_map_slots(notification.table())[slots[member]].key.payload.string,
                     keys[member].text());
    }
}

// Both sides probe, insert into, erase from and grow the tables they share, so under the same random
// steps the plug-in's map and the host's must agree slot for slot, and with std::map on the entries.
TEST_F(MapTable, AgreesWithAReferenceContainerAndTheHostUnderRandomOperations)
{
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> keyOf(0, 90);
    std::uniform_int_distribution<int> action(0, 9);
    cv::map_t map(0, "devices");
    std::map<std::int64_t, std::int64_t> reference;
    std::set<std::uint64_t> capacities;
    struct HostTable {
        vlm_map_table_t* table = obclient_map_new(8);
        ~HostTable() { vlm_free_map(table); }
    } host;
    obclient_map_set_name(&host.table, "devices");
    for (int step = 0; step < 4000; ++step) {
        const std::int64_t key = keyOf(random);
        const int what = action(random);
        if (what < 5) {
            const bool fresh = map.insert(cv::data_t(key), cv::data_t(std::int64_t{step})).second;
            EXPECT_EQ(fresh, reference.emplace(key, step).second);
            ASSERT_EQ(obclient_map_insert(&host.table, obclient_integer(key), obclient_integer(step)), fresh);
        } else if (what < 8) {
            map.erase(map.find(cv::data_t(key)));
            ASSERT_EQ(obclient_map_erase(host.table, obclient_integer(key)),
                      static_cast<int>(reference.erase(key)));
        } else {
            map[cv::data_t(key)] = cv::data_t(std::int64_t{-step});
            reference[key] = -step;
            if (vlm_data_t* value = obclient_map_find(host.table, obclient_integer(key)))
                *value = obclient_integer(-step);
            else
                obclient_map_insert(&host.table, obclient_integer(key), obclient_integer(-step));
        }
        ASSERT_EQ(map.size(), reference.size()) << "step " << step;
        const vlm_map_table_t& mine = *map.table();
        ASSERT_EQ((std::vector<std::uint64_t>{mine.capacity, mine.count, mine.erased}),
                  (std::vector<std::uint64_t>{host.table->capacity, host.table->count, host.table->erased}))
            << "capacity, count, erased after step " << step;
        for (std::uint64_t i = 0; i < mine.capacity; ++i) {
            const vlm_map_slot_t& left = vlm_map_slots(map.table())[i];
            const vlm_map_slot_t& right = vlm_map_slots(host.table)[i];
            ASSERT_TRUE(left.hash == right.hash && left.key.tag == right.key.tag &&
                        left.key.payload.integer == right.key.payload.integer &&
                        left.value.payload.integer == right.value.payload.integer)
                << "slot " << i << " after step " << step;
        }
        // Both sides share the probe start's shortcuts: each entry must be reachable from hash % capacity.
        const vlm_map_slot_t* slots = vlm_map_slots(map.table());
        for (std::uint64_t i = 0; i < mine.capacity; ++i) {
            if (!vlm::map_policy::isOccupiedSlot(slots[i]))
                continue;
            for (std::uint64_t at = slots[i].hash % mine.capacity; at != i; at = (at + 1) % mine.capacity)
                ASSERT_FALSE(vlm::map_policy::isEmptySlot(slots[at]))
                    << "slot " << i << " after step " << step;
        }
        capacities.insert(mine.capacity);
    }
    EXPECT_TRUE(capacities.count(vlm::map_policy::minimumCapacity) == 1 &&
                capacities.count(vlm::map_policy::secondGrowthCapacity) == 1)
        << "the run passes through the capacities whose probe start is not a division";
    EXPECT_STREQ(host.table->name, "devices") << "the host's growth kept the name";

    const cv::map_t copy(map);
    EXPECT_EQ(copy, map);
    EXPECT_EQ(copy.table()->erased, 0u) << "a copy leaves the erased slots behind";
}

} // namespace
