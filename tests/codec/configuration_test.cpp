// The codec's three settings, and the tools' warnings about them: a value the codec
// cannot use falls back silently to its default, and exactly then the tools name it.

#include "codec/tessaro_notifications2_codec.h"
#include "tests/codec/conversion_support.h"
#include "tests/values/value_builders.h"
#include "tools/common/configuration_warnings.h"

namespace codec_testing {
namespace {

using pulsar::TessaroNotifications2Codec;

constexpr const char* prefix = "towardsHostChannelPrefix";
constexpr const char* channel = "measurementSplittingChannel";
constexpr const char* tenant = "tenantId";
constexpr const char* measurements = "tessaro.measurements";
constexpr const char* devices = "tessaro.devices";
const std::string notRead = R"(" is not read by the codec, which reads "measurementSplittingChannel", )"
                            R"("towardsHostChannelPrefix", "tenantId")";

struct ConfigurationCase {
    std::vector<std::pair<const char*, cv::data_t>> settings;
    const char* measurementChannel;
    const char* devicesChannel;
    const char* tenant;                // null: absent
    std::vector<std::string> warnings; // a piece of each line, in order
};

using ConfigurationTest = testing_support::HostTest;

TEST_F(ConfigurationTest, UnusableValuesTakeTheDefaultAndExactlyThoseAreWarnedAbout)
{
    const cv::data_t map(testing_support::mapOf({{"a", obclient_integer(1)}}));
    const cv::data_t list = testing_support::listOf({obclient_integer(1)});
    const cv::data_t lent = cv::data_t::adopt(obclient_borrowed_string("lent.lane"));
    const cv::data_t decimal = cv::data_t::adopt(obclient_decimal(2));
    const cv::data_t buffer = cv::data_t::adopt(obclient_buffer("\x01", 1));
    const std::string key = "configuration key \"";
    const std::string listLine = key + prefix + "\" holds a list, but the codec wants text, a number or a " +
                                 "boolean and takes its default, no prefix";
    const std::string integerLine =
        key + channel + "\" holds an integer, but the codec wants text and takes its default, \"" +
        measurements;
    const std::string nullLine = key + tenant +
                                 "\" holds nothing (null), but the codec wants text and takes " +
                                 "its default, no tenant";
    const ConfigurationCase cases[] = {
        {{{"unknownSetting", "x"}}, measurements, devices, nullptr, {key + "unknownSetting" + notRead}},
        {{{"tenantID", "wrong-case"}}, measurements, devices, nullptr, {key + "tenantID" + notRead}},
        {{{prefix, "site."}}, measurements, "site.tessaro.devices", nullptr, {}},
        {{{prefix, 7}}, measurements, "7tessaro.devices", nullptr, {}},
        {{{prefix, true}}, measurements, "truetessaro.devices", nullptr, {}},
        {{{prefix, -3}, {channel, ""}}, "", "-3tessaro.devices", nullptr, {}},
        {{{prefix, map}}, measurements, devices, nullptr, {"holds a map"}},
        {{{prefix, list}}, measurements, devices, nullptr, {listLine}},
        {{{prefix, decimal}}, measurements, devices, nullptr, {"holds a decimal"}},
        {{{channel, lent}}, "lent.lane", devices, nullptr, {}},
        {{{channel, 5}}, measurements, devices, nullptr, {integerLine}},
        {{{channel, true}}, measurements, devices, nullptr, {"holds a boolean"}},
        // The measurement channel is never prefixed.
        {{{channel, "fast.lane"}, {prefix, "site."}}, "fast.lane", "site.tessaro.devices", nullptr, {}},
        {{{tenant, "t12345"}}, measurements, devices, "t12345", {}},
        {{{tenant, ""}}, measurements, devices, nullptr, {}},
        {{{tenant, 12345}}, measurements, devices, nullptr, {"holds an integer"}},
        {{{tenant, 1.5}}, measurements, devices, nullptr, {"holds a fractional number"}},
        {{{tenant, buffer}}, measurements, devices, nullptr, {"holds a buffer"}},
        {{{tenant, cv::data_t()}}, measurements, devices, nullptr, {nullLine}},
        // In the order of the keys, whatever the map's own order.
        {{{"zeta", 1}, {"alpha", "x"}, {tenant, "t"}},
         measurements,
         devices,
         "t",
         {key + "alpha" + notRead, key + "zeta" + notRead}},
    };
    for (const ConfigurationCase& expected : cases) {
        cv::map_t config;
        for (const auto& [name, value] : expected.settings)
            config[cv::data_t(name)] = value;
        const cv::data_t configValue(std::move(config));
        SCOPED_TRACE(cv::renderValue(configValue));
        std::unique_ptr<TessaroNotifications2Codec> codec;
        testing_support::standardErrorOf([&] {
            codec = std::make_unique<TessaroNotifications2Codec>(
                codecParameters(cv::map_t(configValue.get<cv::map_t>())));
        });
        EXPECT_STREQ(codec->getMeasurementChannel().get<const char*>(), expected.measurementChannel);
        EXPECT_STREQ(codec->getDevicesChannel().get<const char*>(), expected.devicesChannel);
        EXPECT_STREQ(codec->getTenant() ? codec->getTenant()->get<const char*>() : nullptr, expected.tenant);

        const std::vector<std::string> warnings = tools::configurationWarnings(configValue.record());
        ASSERT_EQ(warnings.size(), expected.warnings.size());
        for (std::size_t i = 0; i < warnings.size(); ++i)
            EXPECT_NE(warnings[i].find(expected.warnings[i]), std::string::npos)
                << warnings[i] << "\nwants: " << expected.warnings[i];
    }
    EXPECT_TRUE(logLines().empty());
}

} // namespace
} // namespace codec_testing
