// What the conversion tests share, the tools' too: JSON read as the tools read it, so tests compare
// values (entries in any order, 1 apart from 1.0), notifications, and converting one with a builder.
#pragma once

#include <algorithm>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>

#include "codec/orbel_message_builder.h"
#include "connectivity/framework/plugin.h"
#include "connectivity/values/message.h"
#include "tests/support/host_test.h"
#include "tools/common/json_value.h"

namespace codec_testing {

namespace cv = com::velmora::connectivity10_15_4;
namespace pulsar = com::velmora::connectivity::plugins::pulsar;
using testing_support::errorOf;

// Every ' is read as ", so tests can write JSON inside C++ literals; no test text holds a quote of its own.
inline cv::data_t json(std::string text)
{
    std::replace(text.begin(), text.end(), '\'', '"');
    simdjson::dom::parser parser;
    tools::HostValue value;
    std::string reason;
    if (tools::readJsonText(parser, text, value, reason) != tools::JsonText::Read)
        throw std::invalid_argument("test JSON not read (" + reason + "): " + text);
    return cv::data_t::adopt(value.release());
}

// A message as the transport delivers it: the payload, and the path in metadata "pulsarPath".
inline cv::Message notification(const char* pulsarPath, const std::string& payloadJson)
{
    cv::map_t metadata;
    metadata[cv::data_t("pulsarPath")] = cv::data_t(pulsarPath);
    return cv::Message(json(payloadJson), std::move(metadata));
}

// The codec's parameters in the tests: plug-in "notifications" on chain "chain1".
inline cv::PluginParameters codecParameters(cv::map_t&& config)
{
    cv::PluginParameters params;
    params.chainId = "chain1";
    params.pluginName = "notifications";
    params.config = std::move(config);
    return params;
}

// A copy of the entry of a map value under key; the empty value when there is none.
inline cv::data_t field(const cv::data_t& map, const char* key)
{
    const cv::map_t& entries = map.get<cv::map_t>();
    const cv::map_t::const_iterator found = entries.find(cv::data_t(key));
    return found == entries.end() ? cv::data_t() : found->second;
}

using CreateBuilder = std::unique_ptr<pulsar::OrbelMessageBuilder> (*)(cv::Message&);
inline cv::Message convert(CreateBuilder create, const std::string& payloadJson)
{
    cv::Message notification(json(payloadJson), cv::map_t());
    return pulsar::finishBuilder(*create(notification));
}

} // namespace codec_testing

// Lets EXPECT_EQ show values as the host renders them.
namespace com::velmora::connectivity10_15_4 {
inline void PrintTo(const data_t& value, std::ostream* out)
{
    *out << renderValue(value);
}
} // namespace com::velmora::connectivity10_15_4
