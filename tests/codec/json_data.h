// JSON texts read as the tools read them, so tests compare values: map entries in any order,
// and 1 apart from 1.0. Every ' is read as ", so tests can write JSON inside C++ literals; no
// test text holds a quote of its own.
#pragma once

#include <algorithm>
#include <ostream>
#include <stdexcept>
#include <string>

#include "connectivity/values/message.h"
#include "tools/common/json_value.h"

namespace codec_testing {

namespace cv = com::velmora::connectivity10_15_4;

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

} // namespace codec_testing

// Lets EXPECT_EQ show values as the host renders them.
namespace com::velmora::connectivity10_15_4 {
inline void PrintTo(const data_t& value, std::ostream* out)
{
    *out << renderValue(value);
}
} // namespace com::velmora::connectivity10_15_4
