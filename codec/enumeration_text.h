// Enumerations whose values travel as fixed texts: each table pairs a value with
// its library-wide constant, and texts are compared exactly, case included.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>

#include "codec/codec_errors.h"
#include "connectivity/values/static_string.h"

namespace com::velmora::connectivity::plugins::pulsar {

namespace cv = com::velmora::connectivity10_15_4;

template <class Enumeration> struct EnumerationText {
    Enumeration value;
    const cv::StaticString& text;
};

// Throws the text unrecognised makes of a text outside the table.
template <class Enumeration, std::size_t Size>
Enumeration parseEnumeration(const EnumerationText<Enumeration> (&table)[Size], const char* text,
                             std::string (*unrecognised)(const char*))
{
    for (const EnumerationText<Enumeration>& entry : table) {
        if (std::strcmp(entry.text.text(), text) == 0)
            return entry.value;
    }
    throw std::runtime_error(unrecognised(text));
}

template <class Enumeration, std::size_t Size>
const cv::data_t& enumerationText(const EnumerationText<Enumeration> (&table)[Size], Enumeration value)
{
    for (const EnumerationText<Enumeration>& entry : table) {
        if (entry.value == value)
            return entry.text;
    }
    throw std::runtime_error(errors::unrecognizedEnumValue);
}

} // namespace com::velmora::connectivity::plugins::pulsar
