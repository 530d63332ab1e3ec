// Level filtering against the level the host reported at construction, and
// the shape of each line handed to the host.
#include "connectivity/framework/logger.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

using LoggerTest = testing_support::HostTest;

TEST_F(LoggerTest, EmitsOnlyLinesAtOrBelowTheLevelCachedAtConstruction)
{
    obclient_set_log_level("connectivity.n.c", 2);
    const cv::Logger logger("connectivity.n.c");
    // Raising the host's level later does not reach a Logger already made.
    obclient_set_log_level("connectivity.n.c", 6);

    EXPECT_FALSE(logger.isEnabled(3));
    EXPECT_TRUE(logger.isEnabled(2));
    logger.log(3, "dropped %d", 1);
    logger.error("dropped %d", 2);
    logger.debug("dropped %d", 3);
    logger.log(2, "kept %d", 4);

    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_EQ(logLines()[0].level, 2);
    EXPECT_EQ(logLines()[0].text, "<connectivity.n.c> kept 4");
}

TEST_F(LoggerTest, ShorthandsLogAtTheirLevels)
{
    obclient_set_log_level("connectivity.n.c", 6);
    const cv::Logger logger("connectivity.n.c");

    logger.error("%s", "an error");
    logger.debug("%s", "a trace");

    ASSERT_EQ(logLines().size(), 2u);
    EXPECT_EQ(logLines()[0].level, 3);
    EXPECT_EQ(logLines()[0].text, "<connectivity.n.c> an error");
    EXPECT_EQ(logLines()[1].level, 6);
    EXPECT_EQ(logLines()[1].text, "<connectivity.n.c> a trace");
}

TEST_F(LoggerTest, TheCategoryIsAnArgumentNeverAFormat)
{
    const cv::Logger logger("connectivity.n%d%s.c");

    logger.log(3, "count %d", 7);

    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_EQ(logLines()[0].category, "connectivity.n%d%s.c");
    EXPECT_EQ(logLines()[0].text, "<connectivity.n%d%s.c> count 7");
}

} // namespace
