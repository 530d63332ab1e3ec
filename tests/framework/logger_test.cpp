// Level filtering against the level the host reported at construction, and
// the shape of each line handed to the host.
#include <string>
#include <vector>

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

    EXPECT_EQ(logTexts("connectivity.n.c"), (std::vector<std::string>{"2 <connectivity.n.c> kept 4"}));
}

// The category is an argument, never part of a format.
TEST_F(LoggerTest, ShorthandsLogAtTheirLevelsUnderTheCategoryAsGiven)
{
    obclient_set_log_level("connectivity.n%d%s.c", 6);
    const cv::Logger logger("connectivity.n%d%s.c");

    logger.error("%s %d", "an error", 7);
    logger.debug("%s", "a trace");

    EXPECT_EQ(logTexts("connectivity.n%d%s.c"),
              (std::vector<std::string>{"3 <connectivity.n%d%s.c> an error 7",
                                        "6 <connectivity.n%d%s.c> a trace"}));
}

} // namespace
