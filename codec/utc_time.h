// Conversion of a broken-down UTC time to seconds since the Unix epoch, in 64
// bits and without the process time zone (std::mktime would apply it).
#pragma once

#include <cstdint>
#include <ctime>

namespace com::velmora::connectivity::plugins::pulsar {

// Days from 1970-01-01 to the given proleptic Gregorian date, month 1 to 12; a
// day past the month's end carries into the next month.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) noexcept;

// Fields outside their usual ranges carry over as a calendar would: month 12 is
// January of the next year, 31 February is 2 or 3 March, second 60 the next minute.
// tm_wday, tm_yday and tm_isdst are not read.
std::int64_t utcSecondsSinceEpoch(const std::tm& time) noexcept;

} // namespace com::velmora::connectivity::plugins::pulsar
