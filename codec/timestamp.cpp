#include "codec/timestamp.h"

#include <cstring>
#include <ctime>
#include <iterator>

#include "codec/timestamp_layout.h"
#include "codec/utc_time.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

using namespace timestampLayout;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number in `count` digits, or -1 when one is not a digit. Stops at the
// terminating NUL like at any other non-digit, so it never reads past the text.
int readDigits(const char* text, std::size_t count)
{
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!isDigit(text[i]))
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// A number in the date and time: where it starts, its digits, the range
// std::get_time accepts for it, and the separator after it (none after the seconds).
struct DateTimeField {
    std::size_t start;
    std::size_t digits;
    int lowest;
    int highest;
    char separator;
};

// "%Y-%m-%dT%H:%M:%S" as std::get_time reads it when every number has all its
// digits: any year, and second 60 as a leap second. Other texts it may still
// accept (a blank before a day, a one-digit month) are the reference's to read.
constexpr DateTimeField dateTimeFields[] = {
    {0, 4, 0, 9999, '-'}, {5, 2, 1, 12, '-'},  {8, 2, 1, 31, 'T'},
    {11, 2, 0, 23, ':'},  {14, 2, 0, 59, ':'}, {17, 2, 0, 60, '\0'},
};

// Each separator is looked at only after the digits before it were read, so no
// read passes the end of the text.
bool readCanonicalDateTime(const char* text, std::tm& brokenDown)
{
    int values[std::size(dateTimeFields)];
    // Unrolled, every field reads constant positions: the loop costs this path half its time otherwise.
#pragma GCC unroll 6
    for (std::size_t i = 0; i < std::size(dateTimeFields); ++i) {
        const DateTimeField& field = dateTimeFields[i];
        values[i] = readDigits(text + field.start, field.digits);
        if (values[i] < field.lowest || values[i] > field.highest)
            return false;
        if (field.separator != '\0' && text[field.start + field.digits] != field.separator)
            return false;
    }
    brokenDown = std::tm{};
    brokenDown.tm_year = values[0] - 1900;
    brokenDown.tm_mon = values[1] - 1;
    brokenDown.tm_mday = values[2];
    brokenDown.tm_hour = values[3];
    brokenDown.tm_min = values[4];
    brokenDown.tm_sec = values[5];
    return true;
}

std::size_t zoneWindowLength(const char* zone)
{
    std::size_t length = 0;
    while (length < zoneWindow && zone[length] != '\0')
        ++length;
    return length;
}

// "Z", "+hh:mm" and "+hhmm" (either sign), with the reference's arithmetic: hours
// keep their own sign and minutes take the sign of any "-" in the window, which
// for "+hhmm" includes a sixth character.
bool readCanonicalZone(const char* zone, std::size_t length, double& offset)
{
    if (length == 0)
        return false;
    const bool hasColon = std::memchr(zone, ':', length) != nullptr;
    if (!hasColon && (zone[0] == 'Z' || zone[0] == 'z')) {
        offset = 0.0;
        return true;
    }
    if (zone[0] != '+' && zone[0] != '-')
        return false;
    int minutes = -1;
    if (!hasColon && length >= 5)
        minutes = readDigits(zone + 3, 2);
    else if (hasColon && length == zoneWindow && zone[3] == ':')
        minutes = readDigits(zone + 4, 2);
    const int hourDigits = readDigits(zone + 1, 2);
    if (minutes < 0 || hourDigits < 0)
        return false;
    const int hours = zone[0] == '-' ? -hourDigits : hourDigits;
    const int sign = std::memchr(zone, '-', length) != nullptr ? -1 : 1;
    offset = hours * 3600.0 + (minutes * sign) * 60.0;
    return true;
}

} // namespace

boost::optional<double> parseCanonicalTimestamp(const char* text) noexcept
{
    std::tm brokenDown;
    if (text == nullptr || !readCanonicalDateTime(text, brokenDown))
        return boost::none;
    double fraction = 0.0;
    std::size_t zoneStart = dateTimeLength;
    if (text[dateTimeLength] == fractionPoint) {
        const int milliseconds = readDigits(text + millisecondsStart, millisecondsLength);
        if (milliseconds < 0)
            return boost::none;
        fraction = milliseconds / 1000.0;
        zoneStart = millisecondsStart + millisecondsLength;
    }
    // An empty zone also covers a text of only the 19 date and time characters.
    const char* zone = text + zoneStart;
    double offset = 0.0;
    if (!readCanonicalZone(zone, zoneWindowLength(zone), offset))
        return boost::none;
    return static_cast<double>(utcSecondsSinceEpoch(brokenDown)) + fraction - offset;
}

boost::optional<double> parseTimestamp(const char* text) noexcept
{
    if (const boost::optional<double> seconds = parseCanonicalTimestamp(text))
        return seconds;
    return parseTimestampReference(text);
}

} // namespace com::velmora::connectivity::plugins::pulsar
