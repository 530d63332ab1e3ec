// The codec's three settings: accepted values, and the silent fallback to the
// default for every unusable one.
#include <functional>
#include <string>

#include "codec/tessaro_notifications2_codec.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;
using com::velmora::connectivity::plugins::pulsar::TessaroNotifications2Codec;

struct ConfigurationCase {
    const char* name;
    std::function<void(cv::map_t&)> configure;
    const char* measurementChannel;
    const char* devicesChannel;
    const char* tenant; // null: absent
    bool typedReadComplains;
};

void set(cv::map_t& config, const char* key, cv::data_t value)
{
    config[cv::data_t(key)] = std::move(value);
}

cv::data_t nestedMap()
{
    cv::map_t map;
    map[cv::data_t("a")] = cv::data_t(1);
    return cv::data_t(std::move(map));
}

const ConfigurationCase cases[] = {
    {"Empty", [](cv::map_t&) {}, "tessaro.measurements", "tessaro.devices", nullptr, false},
    {"TextPrefix", [](cv::map_t& c) { set(c, "towardsHostChannelPrefix", "site."); }, "tessaro.measurements",
     "site.tessaro.devices", nullptr, false},
    {"IntegerPrefix", [](cv::map_t& c) { set(c, "towardsHostChannelPrefix", 7); }, "tessaro.measurements",
     "7tessaro.devices", nullptr, false},
    {"MapPrefix", [](cv::map_t& c) { set(c, "towardsHostChannelPrefix", nestedMap()); },
     "tessaro.measurements", "tessaro.devices", nullptr, false},
    {"MeasurementChannelIsNeverPrefixed",
     [](cv::map_t& c) {
         set(c, "measurementSplittingChannel", "fast.lane");
         set(c, "towardsHostChannelPrefix", "site.");
     },
     "fast.lane", "site.tessaro.devices", nullptr, false},
    {"BorrowedMeasurementChannel",
     [](cv::map_t& c) {
         set(c, "measurementSplittingChannel", cv::data_t::adopt(obclient_borrowed_string("lent.lane")));
     },
     "lent.lane", "tessaro.devices", nullptr, false},
    {"IntegerMeasurementChannel", [](cv::map_t& c) { set(c, "measurementSplittingChannel", 5); },
     "tessaro.measurements", "tessaro.devices", nullptr, true},
    {"EmptyTextMeasurementChannel", [](cv::map_t& c) { set(c, "measurementSplittingChannel", ""); }, "",
     "tessaro.devices", nullptr, false},
    {"Tenant", [](cv::map_t& c) { set(c, "tenantId", "t12345"); }, "tessaro.measurements", "tessaro.devices",
     "t12345", false},
    {"EmptyTextTenant", [](cv::map_t& c) { set(c, "tenantId", ""); }, "tessaro.measurements",
     "tessaro.devices", nullptr, false},
    {"IntegerTenant", [](cv::map_t& c) { set(c, "tenantId", 12345); }, "tessaro.measurements",
     "tessaro.devices", nullptr, true},
    {"EmptyValueTenant", [](cv::map_t& c) { set(c, "tenantId", cv::data_t()); }, "tessaro.measurements",
     "tessaro.devices", nullptr, false},
    {"OtherKeysIgnored",
     [](cv::map_t& c) {
         set(c, "unknownSetting", "x");
         set(c, "tenantID", "wrong-case");
     },
     "tessaro.measurements", "tessaro.devices", nullptr, false},
};

using CodecConfigurationTest = testing_support::HostTest;

TEST_F(CodecConfigurationTest, DerivesChannelsAndTenant)
{
    for (const ConfigurationCase& expected : cases) {
        SCOPED_TRACE(expected.name);
        cv::PluginParameters params{"chain", "name", cv::map_t(), nullptr, nullptr};
        expected.configure(params.config);

        ::testing::internal::CaptureStderr();
        const TessaroNotifications2Codec codec(params);
        const std::string standardError = ::testing::internal::GetCapturedStderr();

        ASSERT_TRUE(codec.getMeasurementChannel().isString());
        EXPECT_STREQ(codec.getMeasurementChannel().get<const char*>(), expected.measurementChannel);
        ASSERT_TRUE(codec.getDevicesChannel().isString());
        EXPECT_STREQ(codec.getDevicesChannel().get<const char*>(), expected.devicesChannel);
        if (expected.tenant == nullptr) {
            EXPECT_FALSE(codec.getTenant().has_value());
        } else {
            ASSERT_TRUE(codec.getTenant().has_value());
            EXPECT_STREQ(codec.getTenant()->get<const char*>(), expected.tenant);
        }
        EXPECT_EQ(standardError.find("GetVisitor<") != std::string::npos, expected.typedReadComplains)
            << standardError;
    }
    EXPECT_TRUE(logLines().empty());
}

} // namespace
