#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "connectivity/values/list_t.h"
#include "connectivity/values/map_t.h"
#include "host/vlm_hash.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;
using testing_support::hostValue;
using testing_support::listOf;

namespace {

class EqualityAndHash : public testing_support::HostTest {};

std::uint64_t hashOf(const cv::data_t& value, std::uint64_t seed = cv::MAP_HASH_SEED)
{
    return cv::hashValue(value, seed);
}

// Expected values come from a separate Python implementation of MurmurHash64A
// (written from the algorithm's description, run once by hand).
TEST(MurmurHash64A, MatchesIndependentlyComputedVectors)
{
    const std::uint64_t seed = 0x243FCAF1;
    EXPECT_EQ(vlm_murmur_hash64a(nullptr, 0, seed), 0xe36925ae8296b197u);
    EXPECT_EQ(vlm_murmur_hash64a("abc", 3, seed), 0x0e903061f4c485b4u);
    EXPECT_EQ(vlm_murmur_hash64a("hello world!", 12, seed), 0x86bb18151cb61247u);
    const std::int64_t fortyTwo = 42;
    EXPECT_EQ(vlm_murmur_hash64a(&fortyTwo, 8, seed), 0xa9053146cb5f81d3u);
    const std::int64_t seven = 7;
    EXPECT_EQ(vlm_murmur_hash64a(&seven, 8, 0), 0x59c7670b11a59419u);
}

TEST_F(EqualityAndHash, ScalarRules)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(cv::data_t(nan), cv::data_t(nan));
    EXPECT_EQ(cv::data_t(0.0), cv::data_t(-0.0));
    EXPECT_EQ(hashOf(cv::data_t(0.0)), hashOf(cv::data_t(-0.0)));
    EXPECT_EQ(hashOf(cv::data_t(0.0)), 0xd3a7101d1b4ebc20u);
    EXPECT_EQ(hashOf(cv::data_t(1.5)), 0x3b850963fc2e9208u);
    EXPECT_EQ(hashOf(cv::data_t(std::int64_t{42})), 0xa9053146cb5f81d3u);
    EXPECT_NE(cv::data_t(std::int64_t{1}), cv::data_t(1.0)) << "different kinds never compare equal";

    EXPECT_EQ(hashOf(cv::data_t()), cv::MAP_HASH_SEED);
    EXPECT_EQ(hashOf(cv::data_t(true)), cv::MAP_HASH_SEED);
    EXPECT_EQ(hashOf(cv::data_t(false)), ~cv::MAP_HASH_SEED);
    EXPECT_EQ(cv::data_t(), cv::data_t());

    const cv::data_t decimal = hostValue(obclient_decimal(0x1234));
    EXPECT_EQ(decimal, hostValue(obclient_decimal(0x1234)));
    EXPECT_NE(decimal, cv::data_t(std::int64_t{0x1234}));
    std::uint64_t word = 0x1234;
    EXPECT_EQ(hashOf(decimal), vlm_murmur_hash64a(&word, 8, cv::MAP_HASH_SEED));
}

TEST_F(EqualityAndHash, StringsCompareByTextButNotAcrossOwnership)
{
    static const char text[] = "sensor";
    const cv::data_t owned("sensor");
    const cv::data_t borrowed = hostValue(obclient_borrowed_string(text));
    EXPECT_NE(owned, borrowed);
    EXPECT_EQ(borrowed, hostValue(obclient_borrowed_string("sensor")));
    EXPECT_EQ(owned, cv::data_t("sensor"));
    EXPECT_EQ(hashOf(owned), vlm_hash_string("sensor"));
    EXPECT_EQ(hashOf(owned, 12345), hashOf(borrowed)) << "the running seed does not enter a string's hash";
}

TEST_F(EqualityAndHash, NullAndEmptyContainersAreAlike)
{
    const cv::data_t nullList = hostValue(obclient_list_value(nullptr));
    const cv::data_t emptyList = hostValue(obclient_list_value(obclient_list_new(4)));
    EXPECT_EQ(nullList, emptyList);
    EXPECT_EQ(hashOf(nullList, 99), cv::MAP_HASH_SEED);
    EXPECT_EQ(hashOf(emptyList, 99), cv::MAP_HASH_SEED);

    const cv::data_t nullMap = hostValue(obclient_map_value(nullptr));
    const cv::data_t emptyMap = hostValue(obclient_map_value(obclient_map_new(8)));
    EXPECT_EQ(nullMap, emptyMap);
    EXPECT_EQ(hashOf(nullMap), cv::MAP_HASH_SEED);

    const cv::data_t nullBuffer = hostValue(vlm_data_t{{}, VLM_TAG_BUFFER, 0});
    EXPECT_EQ(nullBuffer, hostValue(obclient_buffer("", 0)));
    EXPECT_NE(hostValue(obclient_buffer("ab", 2)), hostValue(obclient_buffer("ac", 2)));
}

TEST_F(EqualityAndHash, ContainersCompareDeeply)
{
    const cv::data_t a = listOf({obclient_integer(1), obclient_string("x")});
    EXPECT_EQ(a, listOf({obclient_integer(1), obclient_string("x")}));
    EXPECT_NE(a, listOf({obclient_string("x"), obclient_integer(1)}));
    std::uint64_t chained = cv::MAP_HASH_SEED;
    chained = hashOf(cv::data_t(std::int64_t{1}), chained);
    chained = hashOf(cv::data_t("x"), chained);
    EXPECT_EQ(hashOf(a, 7), chained);

    // Same entries in another slot order: equal, and hashed alike.
    cv::map_t forward = testing_support::mapOf({{"a", obclient_integer(1)}, {"b", obclient_integer(2)}});
    cv::map_t grown(64);
    grown.insert(cv::data_t("b"), cv::data_t(std::int64_t{2}));
    grown.insert(cv::data_t("a"), cv::data_t(std::int64_t{1}));
    EXPECT_EQ(forward, grown);
    EXPECT_EQ(hashOf(cv::data_t(cv::map_t(forward))), hashOf(cv::data_t(cv::map_t(grown))));

    grown.setName("other");
    EXPECT_NE(forward, grown) << "names take part in equality";
    EXPECT_EQ(hashOf(cv::data_t(cv::map_t(forward))), hashOf(cv::data_t(cv::map_t(grown))))
        << "but not in the hash";

    grown.setName(nullptr);
    grown[cv::data_t("a")] = cv::data_t(std::int64_t{3});
    EXPECT_NE(forward, grown);
}

TEST_F(EqualityAndHash, CustomValuesNeverMatchAndCannotBeHashed)
{
    const cv::data_t custom = hostValue(obclient_custom(nullptr, nullptr, nullptr));
    EXPECT_NE(custom, custom);
    EXPECT_THROW(
        {
            try {
                hashOf(custom);
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Cannot use custom values as a key");
                throw;
            }
        },
        std::runtime_error);
    const cv::data_t listWithCustom = listOf({obclient_custom(nullptr, nullptr, nullptr)});
    EXPECT_THROW(hashOf(listWithCustom), std::runtime_error);
}

} // namespace
