// The record pool's size classes: a class too small for a record lets it run
// into the next block, which no sanitizer sees inside the pool's own runs. The
// tests that turn the pool on make only short records, so the larger classes
// are checked here.
#include <gtest/gtest.h>

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
        if (index > 0) {
            ASSERT_LT(classBytes(index - 1), bytes) << bytes << " bytes";
        }
    }
}

} // namespace
