// What parseTimestamp must give, written the plain way: std::get_time, std::stoi and timegm, and a
// fraction of other than three digits read by strtod as the exact decimal it makes.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <iomanip>
#include <sstream>
#include <string>

#include <boost/optional.hpp>

namespace testing_support {
namespace timestamp_model {

// Throws (out_of_range, invalid_argument) on texts that cannot hold a zone.
inline boost::optional<double> zoneOffset(const std::string& zone)
{
    std::string hours;
    std::string minutes;
    const std::size_t colon = zone.find(':');
    if (colon != std::string::npos) {
        hours = zone.substr(0, colon);
        minutes = zone.substr(colon + 1);
    } else if (zone[0] != 'Z' && zone[0] != 'z') {
        hours = zone.substr(0, 3);
        minutes = zone.substr(3, 2);
    }
    if (hours.empty() && minutes.empty())
        return 0.0;
    if (hours.empty() || minutes.empty())
        return boost::none;
    const int sign = zone.find('-') != std::string::npos ? -1 : 1;
    return std::stoi(hours) * 3600.0 + (std::stoi(minutes) * sign) * 60.0;
}

inline boost::optional<long long> dateTimeSeconds(const std::string& dateTime)
{
    std::tm brokenDown{};
    std::istringstream stream(dateTime);
    stream >> std::get_time(&brokenDown, "%Y-%m-%dT%H:%M:%S");
    if (stream.fail())
        return boost::none;
    brokenDown.tm_isdst = 0;
    return static_cast<long long>(timegm(&brokenDown));
}

// The exact decimal text of whole + 0.<digits>; below zero that is -((-whole - 1) + 0.<c>), where c
// is the digits' complement to 10^n.
inline std::string exactSum(long long whole, const std::string& digits)
{
    if (whole >= 0 || digits.find_first_not_of('0') == std::string::npos)
        return std::to_string(whole) + "." + digits;
    std::string complement = digits;
    for (char& digit : complement)
        digit = static_cast<char>('9' - digit + '0');
    for (std::size_t i = complement.size(); i-- > 0 && ++complement[i] > '9';)
        complement[i] = '0';
    return "-" + std::to_string(-whole - 1) + "." + complement;
}

} // namespace timestamp_model

inline boost::optional<double> modelTimestamp(const char* text)
{
    using namespace timestamp_model;
    if (text == nullptr)
        return boost::none;
    try {
        const std::string whole(text);
        if (whole.size() < 20 || whole[4] != '-' || whole[7] != '-' || whole[10] != 'T' || whole[13] != ':' ||
            whole[16] != ':')
            return boost::none;
        const boost::optional<long long> seconds = dateTimeSeconds(whole.substr(0, 19));
        const std::size_t runEnd = std::min(whole.find_first_not_of("0123456789", 20), whole.size());
        const std::size_t digits = whole[19] == '.' ? runEnd - 20 : 0;
        if (digits != 0 && digits != 3) {
            const boost::optional<double> offset = zoneOffset(whole.substr(20 + digits, 6));
            if (!seconds || !offset)
                return boost::none;
            const std::string exact =
                exactSum(*seconds - static_cast<long long>(*offset), whole.substr(20, digits));
            return std::strtod(exact.c_str(), nullptr);
        }
        double fraction = 0.0;
        std::size_t zoneStart = 19;
        if (whole[19] == '.') {
            // A leading "1" keeps the zeros of "007" significant.
            fraction = (std::stoi("1" + whole.substr(20, 3)) - 1000) / 1000.0;
            zoneStart = 23;
        }
        const boost::optional<double> offset = zoneOffset(whole.substr(zoneStart, 6));
        if (!seconds || !offset)
            return boost::none;
        return static_cast<double>(*seconds) + fraction - *offset;
    } catch (const std::exception&) {
        return boost::none;
    }
}

// Bit for bit, so that a last-place difference or -0.0 against 0.0 shows.
inline bool sameSeconds(const boost::optional<double>& a, const boost::optional<double>& b)
{
    return (!a && !b) || (a && b && std::memcmp(&*a, &*b, sizeof(double)) == 0);
}

} // namespace testing_support
