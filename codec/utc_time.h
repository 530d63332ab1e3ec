// Conversion of a broken-down UTC time to seconds since the Unix epoch, in 64
// bits and without the process time zone (std::mktime would apply it).
#pragma once

#include <cstdint>
#include <ctime>

namespace com::velmora::connectivity::plugins::pulsar {

// Month 1 to 12; the other fields carry over as a calendar would, as below.
std::int64_t utcSecondsSinceEpoch(std::int64_t year, int month, int day, int hour, int minute,
                                  int second) noexcept;

// Fields outside their usual ranges carry over as a calendar would: month 12 is
// January of the next year, 31 February is 2 or 3 March, second 60 the next minute.
// tm_wday, tm_yday and tm_isdst are not read.
std::int64_t utcSecondsSinceEpoch(const std::tm& time) noexcept;

} // namespace com::velmora::connectivity::plugins::pulsar
