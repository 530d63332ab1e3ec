// Level filtering against the level the host reported at construction, and
// the shape of each line handed to the host.

#include "connectivity/framework/logger.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

using LoggerTest = testing_support::HostTest;

TEST_F(LoggerTest, EmitsLinesAtOrBelowTheLevelCachedAtConstructionUnderTheCategoryAsGiven)
{
    // The category is an argument, never part of a format.
    const char* category = "connectivity.n%d%s.c";
    obclient_set_log_level(category, 3);
    const cv::Logger logger(category);
    // Raising the host's level later does not reach a Logger already made.
    obclient_set_log_level(category, 6);

    EXPECT_FALSE(logger.isEnabled(4));
    EXPECT_TRUE(logger.isEnabled(3));
    logger.log(4, "dropped %d", 1);
    logger.debug("dropped %d", 2);
    logger.log(2, "kept %d", 3);
    logger.error("%s %d", "an error", 4);
    cv::Logger(category).debug("%s", "a trace");

    EXPECT_EQ(logTexts(category), (std::vector<std::string>{"2 <connectivity.n%d%s.c> kept 3",
                                                            "3 <connectivity.n%d%s.c> an error 4",
                                                            "6 <connectivity.n%d%s.c> a trace"}));
}

} // namespace
