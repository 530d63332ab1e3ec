#include "codec/tessaro_notifications2_codec.h"

#include <string>

#include "connectivity/framework/config_reader.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

// Names the codec in configuration errors.
constexpr const char* configDisplayName = "Notifications2Codec";

constexpr const char* measurementSplittingChannelKey = "measurementSplittingChannel";
constexpr const char* towardsHostChannelPrefixKey = "towardsHostChannelPrefix";
constexpr const char* tenantIdKey = "tenantId";

constexpr const char* defaultMeasurementChannel = "tessaro.measurements";
// Always prefixed, unlike the measurement channel.
constexpr const char* devicesChannelName = "tessaro.devices";

} // namespace

// Unusable settings silently take their defaults: a misconfigured element still runs.
TessaroNotifications2Codec::TessaroNotifications2Codec(const cv::PluginParameters& params)
    : AbstractSimpleCodec(params)
{
    const cv::ConfigReader reader(params.config, configDisplayName);
    measurementChannel = cv::data_t(
        reader.getStringView(cv::data_t(measurementSplittingChannelKey), defaultMeasurementChannel));
    const std::string prefix = reader.getString(cv::data_t(towardsHostChannelPrefixKey), std::string());
    devicesChannel = cv::data_t((prefix + devicesChannelName).c_str());
    const char* tenantId = reader.getStringView(cv::data_t(tenantIdKey), "");
    if (*tenantId != '\0')
        tenant.emplace(tenantId);
}

// Members go in reverse order of declaration (tenant, devicesChannel,
// measurementChannel), then the next elements, then the Plugin part.
TessaroNotifications2Codec::~TessaroNotifications2Codec() = default;

bool TessaroNotifications2Codec::transformMessageTowardsTransport(cv::Message&)
{
    return true;
}

} // namespace com::velmora::connectivity::plugins::pulsar
