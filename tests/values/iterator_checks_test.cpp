// Iterators that outlive a change of their container fail with a text, unless
// OB_SKIP_DATA_T_ITERATOR_CHECKS is set when the fault is met.

#include <cstdlib>

#include "connectivity/values/list_t.h"
#include "connectivity/values/map_t.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;
using testing_support::errorOf;

namespace {

constexpr const char* skipChecks = "OB_SKIP_DATA_T_ITERATOR_CHECKS";

class IteratorChecks : public testing_support::HostTest {
protected:
    void TearDown() override
    {
        unsetenv(skipChecks);
        HostTest::TearDown();
    }
};

TEST_F(IteratorChecks, MapIteratorsFailAfterInsertionOrErasure)
{
    cv::map_t map = testing_support::mapOf({{"a", obclient_integer(1)}, {"b", obclient_integer(2)}});
    auto it = map.begin();
    it->second = cv::data_t(false); // replacing a value in place is no modification of the table
    EXPECT_NO_THROW(++it);
    map.insert(cv::data_t("c"), cv::data_t(std::int64_t{3}));
    EXPECT_EQ(errorOf([&] { ++it; }), "Iterator invalidated by modifying map");
    EXPECT_EQ(errorOf([&] { (void)it->first; }), "Iterator invalidated by modifying map");

    // Read on every failure, not cached: setting it now takes effect at once.
    setenv(skipChecks, "", 1);
    EXPECT_NO_THROW(++it);
    // A move past a growth reads the new slot array, not the released one.
    it = map.begin();
    for (std::int64_t i = 0; i < 40; ++i)
        map.insert(cv::data_t(std::to_string(i).c_str()), cv::data_t(i));
    ++it;
    const auto* newSlots = reinterpret_cast<const cv::map_entry_t*>(vlm_map_slots(map.table()));
    EXPECT_EQ(&*it, newSlots + it.slotIndex());
    unsetenv(skipChecks);

    auto fresh = map.begin();
    map.erase(map.find(cv::data_t("a")));
    EXPECT_EQ(errorOf([&] { ++fresh; }), "Iterator invalidated by modifying map");

    cv::map_t other;
    EXPECT_EQ(errorOf([&] { map.erase(other.end()); }),
              "Invalid comparison of iterators into different maps");
}

TEST_F(IteratorChecks, ListIteratorsCheckOnlyTheCount)
{
    EXPECT_TRUE(cv::list_t().begin() == cv::list_t().end());
    cv::data_t value = testing_support::listOf({obclient_integer(1), obclient_integer(2)});
    cv::list_t& list = value.get<cv::list_t>();
    auto it = list.begin();
    *it = cv::data_t("replaced");
    EXPECT_NO_THROW(++it);

    // The host changing the count under a walk.
    list.record()->count = 1;
    EXPECT_EQ(errorOf([&] { (void)*it; }), "Iterator invalidated by modifying list");
    EXPECT_EQ(errorOf([&] { (void)(it == list.end()); }), "Iterator invalidated by modifying list");
    EXPECT_EQ(errorOf([&] { ++it; }), "Iterator invalidated by modifying list");
    setenv(skipChecks, "yes", 1);
    EXPECT_NO_THROW(++it);
    list.record()->count = 2;
}

} // namespace
