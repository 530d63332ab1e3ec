// The codec's three settings: accepted values, and the silent fallback to the
// default for every unusable one.
#include <memory>
#include <string>

#include "codec/tessaro_notifications2_codec.h"
#include "connectivity/values/message.h"
#include "tests/support/host_test.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;
using com::velmora::connectivity::plugins::pulsar::TessaroNotifications2Codec;

constexpr const char* prefix = "towardsHostChannelPrefix";
constexpr const char* channel = "measurementSplittingChannel";
constexpr const char* tenant = "tenantId";

cv::data_t nestedMap()
{
    cv::map_t map;
    map[cv::data_t("a")] = cv::data_t(1);
    return cv::data_t(std::move(map));
}

struct ConfigurationCase {
    const char* key;
    cv::data_t value;
    const char* measurementChannel;
    const char* devicesChannel;
    const char* tenant; // null: absent
};

using CodecConfigurationTest = testing_support::HostTest;

TEST_F(CodecConfigurationTest, DerivesChannelsAndTenant)
{
    const char* const measurements = "tessaro.measurements";
    const char* const devices = "tessaro.devices";
    const ConfigurationCase cases[] = {
        {"unknownSetting", cv::data_t("x"), measurements, devices, nullptr},
        {"tenantID", cv::data_t("wrong-case"), measurements, devices, nullptr},
        {prefix, cv::data_t("site."), measurements, "site.tessaro.devices", nullptr},
        {prefix, cv::data_t(7), measurements, "7tessaro.devices", nullptr},
        {prefix, nestedMap(), measurements, devices, nullptr},
        {channel, cv::data_t::adopt(obclient_borrowed_string("lent.lane")), "lent.lane", devices, nullptr},
        {channel, cv::data_t(5), measurements, devices, nullptr},
        {channel, cv::data_t(""), "", devices, nullptr},
        {tenant, cv::data_t("t12345"), measurements, devices, "t12345"},
        {tenant, cv::data_t(""), measurements, devices, nullptr},
        {tenant, cv::data_t(12345), measurements, devices, nullptr},
        {tenant, cv::data_t(), measurements, devices, nullptr},
    };
    for (const ConfigurationCase& expected : cases) {
        SCOPED_TRACE(std::string(expected.key) + " = " + cv::renderValue(expected.value));
        cv::PluginParameters params;
        params.config[cv::data_t(expected.key)] = expected.value;
        std::unique_ptr<TessaroNotifications2Codec> codec;
        testing_support::standardErrorOf(
            [&] { codec = std::make_unique<TessaroNotifications2Codec>(params); });

        EXPECT_STREQ(codec->getMeasurementChannel().get<const char*>(), expected.measurementChannel);
        EXPECT_STREQ(codec->getDevicesChannel().get<const char*>(), expected.devicesChannel);
        EXPECT_STREQ(codec->getTenant() ? codec->getTenant()->get<const char*>() : nullptr, expected.tenant);
    }

    // The measurement channel is never prefixed.
    cv::PluginParameters params;
    params.config[cv::data_t(channel)] = cv::data_t("fast.lane");
    params.config[cv::data_t(prefix)] = cv::data_t("site.");
    const TessaroNotifications2Codec codec(params);
    EXPECT_STREQ(codec.getMeasurementChannel().get<const char*>(), "fast.lane");
    EXPECT_STREQ(codec.getDevicesChannel().get<const char*>(), "site.tessaro.devices");
    EXPECT_TRUE(logLines().empty());
}

} // namespace
