#include "codec/utc_time.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

constexpr std::int64_t secondsPerDay = 86400;

std::int64_t floorDivide(std::int64_t numerator, std::int64_t denominator)
{
    const std::int64_t quotient = numerator / denominator;
    return (numerator % denominator != 0 && (numerator < 0) != (denominator < 0)) ? quotient - 1 : quotient;
}

// Days from 1970-01-01 to the given proleptic Gregorian date (month 1 to 12).
// Counting years from March puts the leap day last, so each 400-year era has
// the same length and the day of the year is a closed formula.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = floorDivide(year, 400);
    // Within an era nothing is negative, and unsigned divisions are the cheaper ones.
    const std::uint64_t yearOfEra = static_cast<std::uint64_t>(year - era * 400);
    const std::uint64_t monthFromMarch = static_cast<std::uint64_t>(month > 2 ? month - 3 : month + 9);
    const std::uint64_t dayOfEra =
        yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + (153 * monthFromMarch + 2) / 5;
    // 719468 days lie between 0000-03-01 and 1970-01-01.
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) + day - 1 - 719468;
}

} // namespace

std::int64_t utcSecondsSinceEpoch(std::int64_t year, int month, int day, int hour, int minute,
                                  int second) noexcept
{
    return daysFromCivil(year, month, day) * secondsPerDay + std::int64_t{hour} * 3600 +
           std::int64_t{minute} * 60 + second;
}

std::int64_t utcSecondsSinceEpoch(const std::tm& time) noexcept
{
    const std::int64_t monthsSinceYear1900 = static_cast<std::int64_t>(time.tm_year) * 12 + time.tm_mon;
    const std::int64_t yearsSince1900 = floorDivide(monthsSinceYear1900, 12);
    const int month = static_cast<int>(monthsSinceYear1900 - yearsSince1900 * 12) + 1;
    return utcSecondsSinceEpoch(1900 + yearsSince1900, month, time.tm_mday, time.tm_hour, time.tm_min,
                                time.tm_sec);
}

} // namespace com::velmora::connectivity::plugins::pulsar
