// The codec's three settings: accepted values, and the silent fallback to the
// default for every unusable one.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codec/tessaro_notifications2_codec.h"
#include "connectivity/values/message.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;
using com::velmora::connectivity::plugins::pulsar::TessaroNotifications2Codec;

constexpr const char* prefix = "towardsHostChannelPrefix";
constexpr const char* channel = "measurementSplittingChannel";
constexpr const char* tenant = "tenantId";

struct ConfigurationCase {
    std::vector<std::pair<const char*, cv::data_t>> settings;
    const char* measurementChannel;
    const char* devicesChannel;
    const char* tenant; // null: absent
};

using CodecConfigurationTest = testing_support::HostTest;

TEST_F(CodecConfigurationTest, DerivesChannelsAndTenant)
{
    const char* const measurements = "tessaro.measurements";
    const char* const devices = "tessaro.devices";
    const cv::data_t nested(testing_support::mapOf({{"a", obclient_integer(1)}}));
    const cv::data_t lent = cv::data_t::adopt(obclient_borrowed_string("lent.lane"));
    const ConfigurationCase cases[] = {
        {{{"unknownSetting", "x"}}, measurements, devices, nullptr},
        {{{"tenantID", "wrong-case"}}, measurements, devices, nullptr},
        {{{prefix, "site."}}, measurements, "site.tessaro.devices", nullptr},
        {{{prefix, 7}}, measurements, "7tessaro.devices", nullptr},
        {{{prefix, nested}}, measurements, devices, nullptr},
        {{{channel, lent}}, "lent.lane", devices, nullptr},
        {{{channel, 5}}, measurements, devices, nullptr},
        {{{channel, ""}}, "", devices, nullptr},
        // The measurement channel is never prefixed.
        {{{channel, "fast.lane"}, {prefix, "site."}}, "fast.lane", "site.tessaro.devices", nullptr},
        {{{tenant, "t12345"}}, measurements, devices, "t12345"},
        {{{tenant, ""}}, measurements, devices, nullptr},
        {{{tenant, 12345}}, measurements, devices, nullptr},
        {{{tenant, cv::data_t()}}, measurements, devices, nullptr},
    };
    for (const ConfigurationCase& expected : cases) {
        cv::PluginParameters params;
        for (const auto& [key, value] : expected.settings)
            params.config[cv::data_t(key)] = value;
        SCOPED_TRACE(cv::renderValue(cv::data_t(cv::map_t(params.config))));
        std::unique_ptr<TessaroNotifications2Codec> codec;
        testing_support::standardErrorOf(
            [&] { codec = std::make_unique<TessaroNotifications2Codec>(params); });

        EXPECT_STREQ(codec->getMeasurementChannel().get<const char*>(), expected.measurementChannel);
        EXPECT_STREQ(codec->getDevicesChannel().get<const char*>(), expected.devicesChannel);
        EXPECT_STREQ(codec->getTenant() ? codec->getTenant()->get<const char*>() : nullptr, expected.tenant);
    }
    EXPECT_TRUE(logLines().empty());
}

} // namespace
