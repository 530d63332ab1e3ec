// The record pool's size classes and placement: a class too small for a record lets it run into the
// next block, which no sanitizer sees inside the pool's own runs.

#include <cstring>
#include <set>

#include "obclient/record_pool.h"
#include "tests/support/host_test.h"

namespace {

using RecordSizeClassTest = testing_support::HostTest;

TEST_F(RecordSizeClassTest, EverySizeGetsTheSmallestClassThatHoldsIt)
{
    using namespace obclient::pool;
    for (size_t bytes = 1; bytes <= largestClassBytes; ++bytes) {
        const size_t index = classOf(bytes);
        ASSERT_LT(index, classCount) << bytes << " bytes";
        ASSERT_GE(classBytes(index), bytes) << bytes << " bytes";
        ASSERT_TRUE(index == 0 || classBytes(index - 1) < bytes) << bytes << " bytes";
    }
}

// Records hold 64-bit fields and pointers, and the JSON writer reads pooled texts sixteen bytes at a time.
TEST_F(RecordSizeClassTest, UncheckedRecordsStartOnSixteenByteBoundaries)
{
    obclient_set_checked(false);
    std::vector<vlm_data_t> strings;
    for (size_t length = 0; length < 5000; length += length < 300 ? 1 : 97)
        strings.push_back(obclient_string_n(std::string(length, 'x').c_str(), length));
    for (const vlm_data_t& text : strings) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(text.payload.string) % 16, 0u)
            << std::strlen(text.payload.string);
        obclient_free_data(text);
    }
    obclient_set_checked(true);
}

// A batch releases thousands of short strings at once: had some gone on to the depot, another thread
// taking them would write cache lines this thread's new blocks share.
TEST_F(RecordSizeClassTest, AThreadGetsBackEveryBlockOfABatchItReleased)
{
    obclient_set_checked(false);
    constexpr size_t batchStrings = 6000;
    std::vector<vlm_data_t> strings;
    for (size_t i = 0; i < batchStrings; ++i)
        strings.push_back(obclient_string("id"));
    std::set<const void*> released;
    for (const vlm_data_t& text : strings) {
        released.insert(text.payload.string);
        obclient_free_data(text);
    }
    size_t reused = 0;
    for (vlm_data_t& text : strings) {
        text = obclient_string("id");
        reused += released.count(text.payload.string);
    }
    for (const vlm_data_t& text : strings)
        obclient_free_data(text);
    EXPECT_EQ(reused, batchStrings);
    obclient_set_checked(true);
}

} // namespace
