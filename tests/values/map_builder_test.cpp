#include <random>

#include "connectivity/values/map_builder.h"
#include "connectivity/values/map_t.h"
#include "tests/support/host_test.h"

namespace cv = com::velmora::connectivity10_15_4;

namespace {

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
