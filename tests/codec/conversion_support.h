// What the conversion tests share: notifications written as JSON, converting
// one with a builder, and catching the text of the error a step reports.
#pragma once

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

#include "codec/orbel_message_builder.h"

#include "connectivity/framework/plugin.h"
#include "connectivity/values/data_t.h"
#include "connectivity/values/message.h"
#include "tests/support/host_test.h"

namespace codec_testing {

namespace cv = com::velmora::connectivity10_15_4;
namespace pulsar = com::velmora::connectivity::plugins::pulsar;

// Read as the replay tool reads its input: objects become host maps, arrays
// lists, numbers without fraction or exponent integers, other numbers doubles.
// Every ' is read as ", so tests can write JSON inside C++ literals; no test
// text holds a quote of its own.
cv::data_t json(const std::string& text);

// A message as the transport delivers it: the payload, and the path in metadata "pulsarPath".
cv::Message notification(const char* pulsarPath, const std::string& payloadJson);

// The codec's parameters in the tests: plug-in "notifications" on chain "chain1".
cv::PluginParameters codecParameters(cv::map_t&& config);

// A copy of the entry of a map value under key; the empty value when there is none.
cv::data_t field(const cv::data_t& map, const char* key);

using CreateBuilder =
    std::unique_ptr<com::velmora::connectivity::plugins::pulsar::OrbelMessageBuilder> (*)(cv::Message&);
cv::Message convert(CreateBuilder create, const std::string& payloadJson);

using testing_support::errorOf;

} // namespace codec_testing

// Lets EXPECT_EQ show values as the host renders them.
namespace com::velmora::connectivity10_15_4 {
void PrintTo(const data_t& value, std::ostream* out);
}
