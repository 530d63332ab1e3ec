#include <ctime>
#include <exception>
#include <iomanip>
#include <sstream>
#include <string>

#include "codec/timestamp.h"
#include "codec/timestamp_layout.h"
#include "codec/utc_time.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

using namespace timestampLayout;

// Only the separators are checked here; std::get_time judges the digits.
bool hasDateTimeShape(const std::string& text)
{
    return text.size() >= dateTimeLength + 1 && text[4] == '-' && text[7] == '-' && text[10] == 'T' &&
           text[13] == ':' && text[16] == ':';
}

// A leading "1" keeps the zeros of "007" significant.
double millisecondsFraction(const std::string& digits)
{
    return (std::stoi("1" + digits) - 1000) / 1000.0;
}

// Seconds to subtract for the zone designator, or none when only one of hours
// and minutes is there. Throws (out_of_range, invalid_argument) on texts that
// cannot hold a zone, which the caller turns into no result.
boost::optional<double> zoneOffset(const std::string& zone)
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
    // Hours carry their own sign; minutes take it from the designator, so -00:30 is half an hour west.
    const int sign = zone.find('-') != std::string::npos ? -1 : 1;
    return std::stoi(hours) * 3600.0 + (std::stoi(minutes) * sign) * 60.0;
}

boost::optional<std::tm> readDateTime(const std::string& dateTime)
{
    std::tm brokenDown{};
    std::istringstream stream(dateTime);
    stream >> std::get_time(&brokenDown, "%Y-%m-%dT%H:%M:%S");
    if (stream.fail())
        return boost::none;
    brokenDown.tm_isdst = 0;
    return brokenDown;
}

} // namespace

boost::optional<double> parseTimestampReference(const char* text) noexcept
{
    if (text == nullptr)
        return boost::none;
    try {
        const std::string whole(text);
        if (!hasDateTimeShape(whole))
            return boost::none;
        double fraction = 0.0;
        std::size_t zoneStart = dateTimeLength;
        if (whole[dateTimeLength] == fractionPoint) {
            fraction = millisecondsFraction(whole.substr(millisecondsStart, millisecondsLength));
            zoneStart = millisecondsStart + millisecondsLength;
        }
        const boost::optional<double> offset = zoneOffset(whole.substr(zoneStart, zoneWindow));
        if (!offset)
            return boost::none;
        const boost::optional<std::tm> brokenDown = readDateTime(whole.substr(0, dateTimeLength));
        if (!brokenDown)
            return boost::none;
        return static_cast<double>(utcSecondsSinceEpoch(*brokenDown)) + fraction - *offset;
    } catch (const std::exception&) {
        return boost::none;
    }
}

} // namespace com::velmora::connectivity::plugins::pulsar
