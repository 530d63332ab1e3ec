// Where the parts of a platform time sit in its text, shared by both parsers so
// they read the same places.
#pragma once

#include <cstddef>

namespace com::velmora::connectivity::plugins::pulsar::timestampLayout {

constexpr std::size_t dateTimeLength = 19;
constexpr std::size_t millisecondsStart = 20;
constexpr std::size_t millisecondsLength = 3;
constexpr std::size_t zoneWindow = 6;
constexpr char fractionPoint = '.';

} // namespace com::velmora::connectivity::plugins::pulsar::timestampLayout
