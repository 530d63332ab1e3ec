// What every codec reads its settings and writes its lines with: typed configuration reads with
// their errors and fallbacks, and log lines filtered against the host's level at construction.
#include "connectivity/framework/config_reader.h"
#include "connectivity/framework/logger.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

using testing_support::errorOf;
using ConfigReaderTest = testing_support::HostTest;
using LoggerTest = testing_support::HostTest;

TEST_F(ConfigReaderTest, ReadsNameTheKeyAndTheReaderOrFallBackOnEveryStandardFailure)
{
    const cv::map_t config =
        testing_support::mapOf({{"text", obclient_string("hello")},
                                {"borrowed", obclient_borrowed_string("lent")},
                                {"integer", obclient_integer(42)},
                                {"double", obclient_double(1.5)},
                                {"boolean", obclient_boolean(false)},
                                {"nothing", vlm_data_t{}},
                                {"list", testing_support::listOf({obclient_integer(1)}).release()}});
    const cv::ConfigReader reader(config, "Display");

    // The key is shown as the host renders it.
    EXPECT_EQ(errorOf([&] { reader.getValue(cv::data_t("absent")); }),
              "Key '\"absent\"' not found in Display");
    EXPECT_EQ(errorOf([&] { reader.getString(cv::data_t("nothing")); }),
              "Key '\"nothing\"' has an empty value in Display");
    EXPECT_EQ(errorOf([] { cv::ConfigReader(cv::map_t(), ""); }), "displayName cannot be empty");

    // A view points into the map, or at the default.
    const char* fallback = "fallback";
    EXPECT_EQ(reader.getStringView(cv::data_t("text"), fallback),
              config.find(cv::data_t("text"))->second.record().payload.borrowed);
    EXPECT_STREQ(reader.getStringView(cv::data_t("borrowed"), fallback), "lent");
    for (const char* unusable : {"absent", "nothing", "integer"})
        testing_support::standardErrorOf(
            [&] { EXPECT_EQ(reader.getStringView(cv::data_t(unusable), fallback), fallback) << unusable; });

    // A string is parsed from any scalar.
    const std::pair<const char*, const char*> strings[] = {
        {"text", "hello"},  {"integer", "42"},     {"double", "1.5"},   {"boolean", "false"},
        {"list", fallback}, {"nothing", fallback}, {"absent", fallback}};
    for (const auto& [key, text] : strings)
        EXPECT_EQ(reader.getString(cv::data_t(key), fallback), text) << key;
    EXPECT_TRUE(logLines().empty());
}

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
