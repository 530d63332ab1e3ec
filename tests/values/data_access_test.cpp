// Reading values: typed reads and the texts they fail with, iterators that outlive a change of their
// container (which fail with a text unless OB_SKIP_DATA_T_ITERATOR_CHECKS is set when the fault is met),
// a value moved onto itself, a message as log lines show it, and library-wide constants.

#include <dlfcn.h>

#include <cstdlib>

#include "connectivity/values/list_t.h"
#include "connectivity/values/map_t.h"
#include "connectivity/values/message.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;
using testing_support::errorOf;

namespace {

constexpr const char* skipChecks = "OB_SKIP_DATA_T_ITERATOR_CHECKS";

class DataAccess : public testing_support::HostTest {
protected:
    void TearDown() override
    {
        unsetenv(skipChecks);
        HostTest::TearDown();
    }
};

TEST_F(DataAccess, FailedReadsNameWhatWasAskedAndWhatIsThere)
{
    const vlm_data_t unknownTag{{}, 42, 0};
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { (void)cv::data_t().get<cv::list_t>(); }, "Get from empty"},
        {[&] { (void)cv::data_t::adopt(unknownTag).get<const char*>(); }, "Get from empty"},
        {[] { cv::data_t::adopt(obclient_decimal(1)).parseAsString(); },
         "Trying to parse from incorrect type (actually decimal)"},
        {[] { testing_support::listOf({}).parseAsString(); },
         "Trying to parse from incorrect type (actually list)"},
        {[] { cv::data_t().parseAsString(); }, "Trying to parse from empty"},
        {[] { cv::data_t(static_cast<const char*>(nullptr)); },
         "Cannot use a null char* as a data_t value (consider using an empty data_t() instead)"},
    };
    for (const auto& [read, message] : failures)
        EXPECT_EQ(testing_support::standardErrorOf([&] { EXPECT_EQ(errorOf(read), message); }), "");
}

TEST_F(DataAccess, MapIteratorsFailAfterInsertionOrErasure)
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

TEST_F(DataAccess, ListIteratorsCheckOnlyTheCount)
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

// A shallow copy or a source left owning would be freed twice, which checked mode stops in every
// suite; a value moved onto itself is the one case no other test meets.
TEST_F(DataAccess, AValueMovedOntoItselfSurvives)
{
    cv::data_t value("payload");
    cv::data_t& alias = value;
    value = std::move(alias);
    EXPECT_STREQ(value.get<const char*>(), "payload");
}

// A payload may neither flood the log nor forge a line in it.
TEST_F(DataAccess, MessagesInLogLinesAreCutAt200BytesWithLineBreaksEscaped)
{
    const auto text = [](std::size_t length, char fill, bool truncate) {
        return cv::toString(cv::Message(cv::data_t(std::string(length, fill).c_str()), cv::map_t()),
                            truncate);
    };
    // The host renders a string with its two quotes: 198 characters give 200 bytes.
    const std::string prefix = "Message<metadata={}, payload=\"";
    EXPECT_EQ(text(198, 'x', true), prefix + std::string(198, 'x') + "\">");
    EXPECT_EQ(text(199, 'y', true), prefix + std::string(195, 'y') + " ...>");
    EXPECT_EQ(text(300, 'z', false), prefix + std::string(300, 'z') + "\">");
    std::string lines = "a\nb\r\nc\\n";
    cv::escapeLineBreaks(lines);
    EXPECT_EQ(lines, "a\\nb\\r\\nc\\n");
}

// Library-wide text constants are host strings made when their library is loaded, released at unload.
TEST_F(DataAccess, StaticConstantsAreMadeAtLoadAndReleasedAtUnload)
{
    const std::int64_t baseline = obclient_live_counts().strings;
    void* library = dlopen(CONSTANTS_PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(obclient_live_counts().strings, baseline + 3);
    const auto text = reinterpret_cast<const char* (*)(int)>(dlsym(library, "constants_probe_text"));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text(0), "alpha");
    EXPECT_STREQ(text(2), "gamma");
    ASSERT_EQ(dlclose(library), 0);
    EXPECT_EQ(obclient_live_counts().strings, baseline);
}

} // namespace
