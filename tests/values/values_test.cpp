// Values: equality, the key hash the plug-in and the host must agree on to find each other's keys, typed
// reads and the texts they fail with, iterators that outlive a change of their container (which fail with
// a text unless OB_SKIP_DATA_T_ITERATOR_CHECKS is set when the fault is met), a value moved onto itself,
// a message as log lines show it, and library-wide constants.

#include <dlfcn.h>

#include <cstdlib>
#include <limits>
#include <utility>

#include "connectivity/values/list_t.h"
#include "connectivity/values/map_t.h"
#include "connectivity/values/message.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;
constexpr auto hostValue = &cv::data_t::adopt;
using testing_support::errorOf;
using testing_support::listOf;
using testing_support::mapOf;

namespace {

constexpr const char* skipChecks = "OB_SKIP_DATA_T_ITERATOR_CHECKS";

class Values : public testing_support::HostTest {
protected:
    void TearDown() override
    {
        unsetenv(skipChecks);
        HostTest::TearDown();
    }
};

// Expected numbers come from a separate Python MurmurHash64A, written from the published algorithm.
TEST_F(Values, BothSidesHashEveryKindAsComputedIndependentlyAndRefuseCustomValues)
{
    const std::uint64_t seed = cv::MAP_HASH_SEED;
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    // Equal maps hash alike whatever their slots, capacity or name.
    vlm_map_table_t* large = obclient_map_new(64);
    obclient_map_set_name(&large, "named");
    obclient_map_insert_string(&large, "b", obclient_double(2.5));
    obclient_map_insert_string(&large, "a", obclient_integer(1));
    const std::pair<cv::data_t, std::uint64_t> cases[] = {
        {cv::data_t(""), 0xe36925ae8296b197u},
        {cv::data_t("a"), 0x60455235038d56cbu},
        // Every length of a text's tail past its 8-byte blocks.
        {cv::data_t("ab"), 0x8df5bcc268b54a56u},
        {cv::data_t("abc"), 0x0e903061f4c485b4u},
        {cv::data_t("hello"), 0x31a36a030d929a32u},
        {cv::data_t("source"), 0xa713ab6ca16117dfu},
        {cv::data_t("channel"), 0x46d454e86e6232e3u},
        {hostValue(obclient_borrowed_string("hello, world")), 0x1191ee7ca4909c2eu},
        {cv::data_t(std::int64_t{42}), 0xa9053146cb5f81d3u},
        {cv::data_t(std::int64_t{-1}), 0x099c106fdb5f42e2u},
        {hostValue(obclient_decimal(0x3000000000000001)), 0xc741a3d4f0dd9f97u},
        {cv::data_t(1.5), 0x3b850963fc2e9208u},
        {cv::data_t(0.0), 0xd3a7101d1b4ebc20u},
        {cv::data_t(-0.0), 0xd3a7101d1b4ebc20u},
        {cv::data_t(true), seed},
        {cv::data_t(false), ~seed},
        {cv::data_t(), seed},
        {hostValue(obclient_buffer(bytes, sizeof bytes)), 0xbef5ffa86abac23bu},
        // A list chains its items from the seed; strings and containers ignore the running seed.
        {listOf({obclient_integer(1), obclient_integer(2)}), 0xc6016c126b1a0fbfu},
        {listOf({obclient_boolean(true), obclient_integer(7)}), 0xc1e7c17d14338e51u},
        {listOf({obclient_boolean(false), obclient_integer(7)}), 0x505c4892466612bdu},
        {listOf({obclient_integer(1), obclient_borrowed_string("a")}), 0x60455235038d56cbu},
        {listOf({obclient_integer(1), obclient_list_value(nullptr)}), seed},
        {hostValue(obclient_list_value(obclient_list_new(4))), seed},
        {hostValue(obclient_map_value(nullptr)), seed},
        {cv::data_t(mapOf({{"a", obclient_integer(1)}, {"b", obclient_double(2.5)}})), 0x649ff9a4b4ec52adu},
        {hostValue(obclient_map_value(large)), 0x649ff9a4b4ec52adu},
    };
    for (const auto& [key, hash] : cases) {
        EXPECT_EQ(cv::keyHash(key), hash) << "plug-in, " << cv::renderValue(key);
        EXPECT_EQ(obclient_key_hash(key.record()), hash) << "host, " << cv::renderValue(key);
    }
    EXPECT_EQ(
        testing_support::errorOf([] { cv::keyHash(hostValue(obclient_custom(nullptr, nullptr, nullptr))); }),
        "Cannot use custom values as a key");
    EXPECT_THROW(cv::keyHash(listOf({obclient_custom(nullptr, nullptr, nullptr)})), std::runtime_error);
}

TEST_F(Values, ValuesAreEqualOnlyInTheSameKindOwnershipAndName)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(cv::data_t(nan), cv::data_t(nan));
    EXPECT_EQ(cv::data_t(0.0), cv::data_t(-0.0));
    EXPECT_NE(cv::data_t(std::int64_t{1}), cv::data_t(1.0)) << "different kinds never compare equal";
    EXPECT_EQ(cv::data_t(), cv::data_t());
    EXPECT_EQ(hostValue(obclient_decimal(0x1234)), hostValue(obclient_decimal(0x1234)));
    EXPECT_NE(hostValue(obclient_decimal(0x1234)), cv::data_t(std::int64_t{0x1234}));

    static const char text[] = "sensor";
    const cv::data_t borrowed = hostValue(obclient_borrowed_string(text));
    EXPECT_NE(cv::data_t("sensor"), borrowed);
    EXPECT_EQ(borrowed, hostValue(obclient_borrowed_string("sensor")));

    EXPECT_EQ(hostValue(obclient_list_value(nullptr)), hostValue(obclient_list_value(obclient_list_new(4))));
    EXPECT_EQ(hostValue(obclient_map_value(nullptr)), hostValue(obclient_map_value(obclient_map_new(8))));
    EXPECT_EQ(hostValue(vlm_data_t{{}, VLM_TAG_BUFFER, 0}), hostValue(obclient_buffer("", 0)));
    EXPECT_NE(hostValue(obclient_buffer("ab", 2)), hostValue(obclient_buffer("ac", 2)));
    const cv::data_t custom = hostValue(obclient_custom(nullptr, nullptr, nullptr));
    EXPECT_NE(custom, custom) << "a custom value matches nothing, not even itself";

    // Containers compare deeply: lists in order, maps whatever their slot order, but by name too.
    EXPECT_NE(listOf({obclient_integer(1), obclient_string("x")}).get<cv::list_t>(),
              listOf({obclient_string("x"), obclient_integer(1)}).get<cv::list_t>());
    const cv::map_t forward = mapOf({{"a", obclient_integer(1)}, {"b", obclient_integer(2)}});
    cv::map_t grown(64);
    grown.insert(cv::data_t("b"), cv::data_t(std::int64_t{2}));
    grown.insert(cv::data_t("a"), cv::data_t(std::int64_t{1}));
    EXPECT_EQ(forward, grown);
    grown.setName("other");
    EXPECT_NE(forward, grown);
}

TEST_F(Values, FailedReadsNameWhatWasAskedAndWhatIsThere)
{
    const vlm_data_t unknownTag{{}, 42, 0};
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { (void)cv::data_t().get<cv::list_t>(); }, "Get from empty"},
        {[&] { (void)cv::data_t::adopt(unknownTag).get<const char*>(); }, "Get from empty"},
        {[] { cv::data_t::adopt(obclient_decimal(1)).parseAsString(); },
         "Trying to parse from incorrect type (actually decimal)"},
        {[] { listOf({}).parseAsString(); }, "Trying to parse from incorrect type (actually list)"},
        {[] { cv::data_t().parseAsString(); }, "Trying to parse from empty"},
        {[] { cv::data_t(static_cast<const char*>(nullptr)); },
         "Cannot use a null char* as a data_t value (consider using an empty data_t() instead)"},
    };
    for (const auto& [read, message] : failures)
        EXPECT_EQ(testing_support::standardErrorOf([&] { EXPECT_EQ(errorOf(read), message); }), "");
}

TEST_F(Values, MapIteratorsFailAfterInsertionOrErasure)
{
    cv::map_t map = mapOf({{"a", obclient_integer(1)}, {"b", obclient_integer(2)}});
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

TEST_F(Values, ListIteratorsCheckOnlyTheCount)
{
    EXPECT_TRUE(cv::list_t().begin() == cv::list_t().end());
    cv::data_t value = listOf({obclient_integer(1), obclient_integer(2)});
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
TEST_F(Values, AValueMovedOntoItselfSurvives)
{
    cv::data_t value("payload");
    cv::data_t& alias = value;
    value = std::move(alias);
    EXPECT_STREQ(value.get<const char*>(), "payload");
}

// A payload may neither flood the log nor forge a line in it.
TEST_F(Values, MessagesInLogLinesAreCutAt200BytesWithLineBreaksEscaped)
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
TEST_F(Values, StaticConstantsAreMadeAtLoadAndReleasedAtUnload)
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
