// Typed configuration reads: the errors of the reads without default, and
// the reads with default falling back on every standard failure.

#include "connectivity/framework/config_reader.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

using testing_support::errorOf;
using ConfigReaderTest = testing_support::HostTest;

TEST_F(ConfigReaderTest, ReadsNameTheKeyAndTheReaderOrFallBackOnEveryStandardFailure)
{
    cv::map_t config;
    config[cv::data_t("text")] = cv::data_t("hello");
    config[cv::data_t("borrowed")] = cv::data_t::adopt(obclient_borrowed_string("lent"));
    config[cv::data_t("integer")] = cv::data_t(42);
    config[cv::data_t("double")] = cv::data_t(1.5);
    config[cv::data_t("boolean")] = cv::data_t(false);
    config[cv::data_t("nothing")] = cv::data_t();
    vlm_list_t* list = nullptr;
    obclient_list_append(&list, obclient_integer(1));
    config[cv::data_t("list")] = cv::data_t::adopt(obclient_list_value(list));
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

} // namespace
