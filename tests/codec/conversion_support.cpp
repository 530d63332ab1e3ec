#include "tests/codec/conversion_support.h"

#include <algorithm>
#include <ostream>
#include <utility>

#include "tools/common/json_value.h"

namespace codec_testing {

cv::data_t json(const std::string& text)
{
    std::string doubleQuoted = text;
    std::replace(doubleQuoted.begin(), doubleQuoted.end(), '\'', '"');
    simdjson::dom::parser parser;
    tools::HostValue value;
    std::string reason;
    if (tools::readJsonText(parser, doubleQuoted, value, reason) != tools::JsonText::Read)
        throw std::invalid_argument("test JSON not read (" + reason + "): " + text);
    return cv::data_t::adopt(value.release());
}

cv::Message notification(const char* pulsarPath, const std::string& payloadJson)
{
    cv::map_t metadata;
    metadata[cv::data_t("pulsarPath")] = cv::data_t(pulsarPath);
    return cv::Message(json(payloadJson), std::move(metadata));
}

cv::PluginParameters codecParameters(cv::map_t&& config)
{
    cv::PluginParameters params;
    params.chainId = "chain1";
    params.pluginName = "notifications";
    params.config = std::move(config);
    return params;
}

cv::data_t field(const cv::data_t& map, const char* key)
{
    const cv::map_t& entries = map.get<cv::map_t>();
    const cv::map_t::const_iterator found = entries.find(cv::data_t(key));
    return found == entries.end() ? cv::data_t() : found->second;
}

cv::Message convert(CreateBuilder create, const std::string& payloadJson)
{
    cv::Message notification(json(payloadJson), cv::map_t());
    return pulsar::finishBuilder(*create(notification));
}

} // namespace codec_testing

namespace com::velmora::connectivity10_15_4 {
void PrintTo(const data_t& value, std::ostream* out)
{
    *out << renderValue(value);
}
} // namespace com::velmora::connectivity10_15_4
