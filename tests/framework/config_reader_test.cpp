// Typed configuration reads: the errors of the reads without default, and
// the reads with default falling back on every standard failure.
#include <functional>
#include <stdexcept>
#include <string>

#include "connectivity/framework/config_reader.h"
#include "connectivity/values/list_t.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;

class ConfigReaderTest : public testing_support::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        config[cv::data_t("text")] = cv::data_t("hello");
        config[cv::data_t("borrowed")] = cv::data_t::adopt(obclient_borrowed_string("lent"));
        config[cv::data_t("integer")] = cv::data_t(42);
        config[cv::data_t("double")] = cv::data_t(1.5);
        config[cv::data_t("boolean")] = cv::data_t(false);
        config[cv::data_t("nothing")] = cv::data_t();
        vlm_list_t* list = nullptr;
        obclient_list_append(&list, obclient_integer(1));
        config[cv::data_t("list")] = cv::data_t::adopt(obclient_list_value(list));
    }
    void TearDown() override
    {
        config = cv::map_t();
        HostTest::TearDown();
    }

    static std::string errorOf(const std::function<void()>& read)
    {
        try {
            read();
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "no error";
    }

    cv::map_t config;
};

TEST_F(ConfigReaderTest, ReadsWithoutDefaultNameTheKeyAndTheReader)
{
    const cv::ConfigReader reader(config, "Display");

    // The key is shown as the host renders it.
    EXPECT_EQ(errorOf([&] { reader.getValue(cv::data_t("absent")); }),
              "Key '\"absent\"' not found in Display");
    EXPECT_EQ(errorOf([&] { reader.getString(cv::data_t("nothing")); }),
              "Key '\"nothing\"' has an empty value in Display");
    EXPECT_EQ(errorOf([] { cv::ConfigReader(cv::map_t(), ""); }), "displayName cannot be empty");
    EXPECT_EQ(reader.getValue(cv::data_t("integer")).get<std::int64_t>(), 42);
}

TEST_F(ConfigReaderTest, ReadsWithDefaultFallBackOnEveryStandardFailure)
{
    const cv::ConfigReader reader(config, "Display");
    const char* fallback = "fallback";

    // A view points into the map, or at the default.
    const char* text = reader.getStringView(cv::data_t("text"), fallback);
    EXPECT_EQ(text, config.find(cv::data_t("text"))->second.record().payload.borrowed);
    EXPECT_STREQ(reader.getStringView(cv::data_t("borrowed"), fallback), "lent");
    EXPECT_EQ(reader.getStringView(cv::data_t("absent"), fallback), fallback);
    EXPECT_EQ(reader.getStringView(cv::data_t("nothing"), fallback), fallback);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(reader.getStringView(cv::data_t("integer"), fallback), fallback);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("GetVisitor<"), std::string::npos);

    // A string is parsed from any scalar.
    EXPECT_EQ(reader.getString(cv::data_t("text"), fallback), "hello");
    EXPECT_EQ(reader.getString(cv::data_t("integer"), fallback), "42");
    EXPECT_EQ(reader.getString(cv::data_t("double"), fallback), "1.5");
    EXPECT_EQ(reader.getString(cv::data_t("boolean"), fallback), "false");
    EXPECT_EQ(reader.getString(cv::data_t("list"), fallback), fallback);
    EXPECT_EQ(reader.getString(cv::data_t("nothing"), fallback), fallback);
    EXPECT_EQ(reader.getString(cv::data_t("absent"), fallback), fallback);
    EXPECT_TRUE(logLines().empty());
}

} // namespace
