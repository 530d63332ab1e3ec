// Maps: the table layout the plug-in shares with the host, and the builder that lays a table out ahead.

#include <map>
#include <random>
#include <set>

#include "connectivity/values/key_set.h"
#include "connectivity/values/map_builder.h"
#include "connectivity/values/map_t.h"
#include "connectivity/values/static_string.h"
#include "host/map_policy.h"
#include "tests/support/host_test.h"

namespace cv = com::velmora::connectivity10_15_4;

namespace {

class MapTable : public testing_support::HostTest {};

// An integer key whose hash starts probing at `slot` of a table of `capacity`.
std::int64_t integerKeyLandingAt(std::uint64_t slot, std::uint64_t capacity, std::int64_t from = 0)
{
    while (cv::keyHash(cv::data_t(from)) % capacity != slot)
        ++from;
    return from;
}

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
    // "time" is absent: the forged entry shares only its hash.
    EXPECT_EQ((std::vector<std::size_t>{slots[0], slots[2], slots[3]}), std::vector<std::size_t>(3, absent));
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

class MapBuilder : public testing_support::HostTest {};

std::string describe(const vlm_map_table_t* table)
{
    if (table == nullptr)
        return "null";
    std::string text =
        std::to_string(table->count) + " entries, " + std::to_string(table->erased) + " erased:";
    for (std::uint64_t i = 0; i < table->capacity; ++i) {
        const vlm_map_slot_t& slot = vlm_map_slots(const_cast<vlm_map_table_t*>(table))[i];
        text += slot.key.tag == VLM_TAG_EMPTY
                    ? std::string(" -")
                    : " " + std::to_string(slot.hash) + ":" + slot.key.payload.string + "=" +
                          std::to_string(slot.value.payload.integer);
    }
    return text;
}

// One insertion by either of the map's ways of inserting.
template <class Map>
void insert(Map& map, int action, const char* key, std::uint64_t hash, std::int64_t value)
{
    const cv::data_t keyValue(key);
    if (action == 0)
        map.findOrInsert(keyValue, hash) = cv::data_t(value);
    else if (action == 1)
        map.findOrInsert(cv::data_t(keyValue), hash) = cv::data_t(value);
    else
        map.insert(cv::data_t(keyValue), hash, cv::data_t(value));
}

// The events' iteration order depends on it: a builder's table comes out slot for slot as a map_t's
// that took the same insertions, past the entries it lays out ahead and with shared hashes too.
TEST_F(MapBuilder, LaysOutItsTableAsAMapTakingTheSameInsertionsInTurn)
{
    std::mt19937 random(20261207);
    std::vector<std::string> keys;
    std::vector<std::uint64_t> hashes;
    for (int i = 0; i < 40; ++i) {
        keys.push_back("key" + std::to_string(i));
        // Every third key gets a small hash, so several share a probe start or a whole hash.
        hashes.push_back(i % 3 == 0 ? 2 + random() % 12 : cv::keyHash(cv::data_t(keys.back().c_str())));
    }
    std::uniform_int_distribution<std::size_t> keyOf(0, keys.size() - 1);
    std::uniform_int_distribution<int> action(0, 2);
    std::size_t spilledRuns = 0;
    for (int run = 0; run < 400; ++run) {
        std::vector<std::pair<int, std::size_t>> insertions; // the way of inserting, the key
        for (int step = 0; step < run % 50; ++step)
            insertions.emplace_back(action(random), keyOf(random));
        const auto insertAll = [&](auto& map) {
            for (std::size_t step = 0; step < insertions.size(); ++step) {
                const auto [way, key] = insertions[step];
                insert(map, way, keys[key].c_str(), hashes[key], std::int64_t(run * 100 + step));
            }
        };
        cv::map_t expected;
        insertAll(expected);
        spilledRuns += expected.size() > cv::map_builder::plannedEntries;
        // The same insertions twice: the second builder places its entries where the first one's went.
        for (int pass = 0; pass < 2; ++pass) {
            cv::map_builder builder;
            insertAll(builder);
            // Some builders are dropped untaken: what they hold must be released, once.
            if (run % 7 == 3)
                continue;
            const cv::map_t built = builder.take();
            ASSERT_EQ(describe(built.table()), describe(expected.table()))
                << "run " << run << " pass " << pass;
            EXPECT_EQ(builder.take().table(), nullptr) << "taking empties the builder";
        }
    }
    EXPECT_GT(spilledRuns, 20u) << "runs must also go past the entries laid out ahead";
}

// Whether building a map of entries under these hashes had to work its layout out.
bool plannedAnew(const std::vector<std::uint64_t>& hashes)
{
    const std::uint64_t before = cv::map_builder::layoutsPlannedOnThisThread();
    cv::map_builder builder;
    for (std::size_t entry = 0; entry < hashes.size(); ++entry)
        insert(builder, 0, ("k" + std::to_string(entry)).c_str(), hashes[entry], 0);
    builder.take();
    return cv::map_builder::layoutsPlannedOnThisThread() != before;
}

// Each layout worked out again replays a map's growth: a frequent sequence of keys must stay kept.
TEST_F(MapBuilder, KeptLayoutsStayForTheSequencesUsedMostRecently)
{
    std::mt19937_64 random(37);
    const auto sequence = [&random](std::size_t entries) {
        std::vector<std::uint64_t> hashes;
        for (std::size_t entry = 0; entry < entries; ++entry)
            hashes.push_back(2 + random() % (std::uint64_t{1} << 40));
        return hashes;
    };

    // The same keys in two orders: two sequences alone never need to push each other out.
    const std::vector<std::uint64_t> forwards = sequence(11);
    const std::vector<std::uint64_t> backwards(forwards.rbegin(), forwards.rend());
    std::size_t alternatingPlans = 0;
    for (int round = 0; round < 20; ++round)
        alternatingPlans += plannedAnew(forwards) + plannedAnew(backwards);
    EXPECT_EQ(alternatingPlans, 2u) << "two sequences in turn pushed each other out";

    // One sequence in every other map, the others each seen once.
    const std::vector<std::uint64_t> frequent = sequence(9);
    std::size_t frequentPlans = 0;
    std::size_t othersPlanned = 0;
    for (int round = 0; round < 400; ++round) {
        frequentPlans += plannedAnew(frequent);
        othersPlanned += plannedAnew(sequence(1 + round % 16));
    }
    EXPECT_EQ(frequentPlans, 1u) << "a sequence used every other time was pushed out";
    EXPECT_EQ(othersPlanned, 400u) << "a sequence seen for the first time was found";
}

} // namespace
