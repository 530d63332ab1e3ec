// parseTimestamp on arbitrary text never throws (it is noexcept: a throw would
// terminate), gives bit for bit what its std::get_time reference gives, and,
// where it gives a result, agrees with a computation of the same text written
// another way: strtol for the numbers, strptime and timegm for the date.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include <boost/optional.hpp>

#include "codec/timestamp.h"

namespace {

// Reads a leading decimal integer as std::stoi would; false when none is there or it overflows int.
bool leadingInteger(const std::string& text, long& value)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    value = std::strtol(begin, &end, 10);
    return end != begin && errno == 0 && value >= -2147483648L && value <= 2147483647L;
}

boost::optional<double> reference(const std::string& text)
{
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':')
        return boost::none;
    double fraction = 0.0;
    std::size_t zoneStart = 19;
    if (text[19] == '.') {
        long milliseconds = 0;
        if (leadingInteger("1" + text.substr(20, 3), milliseconds))
            fraction = static_cast<double>(milliseconds - 1000) / 1000.0;
        zoneStart = 23;
    }
    if (zoneStart > text.size())
        return boost::none;
    const std::string_view zone = std::string_view(text).substr(zoneStart, 6);
    const std::size_t colon = zone.find(':');
    const bool designatorOnly = colon == std::string_view::npos && !zone.empty() && (zone[0] | 0x20) == 'z';
    const std::string_view none;
    const std::string hours(colon != std::string_view::npos ? zone.substr(0, colon)
                            : designatorOnly                ? none
                                                            : zone.substr(0, 3));
    const std::string minutes(colon != std::string_view::npos      ? zone.substr(colon + 1)
                              : designatorOnly || zone.size() <= 3 ? none
                                                                   : zone.substr(3, 2));
    long offset = 0;
    if (!hours.empty() && !minutes.empty()) {
        long h = 0;
        long m = 0;
        if (!leadingInteger(hours, h) || !leadingInteger(minutes, m))
            return boost::none;
        const long sign = zone.find('-') != std::string::npos ? -1 : 1;
        offset = h * 3600 + m * sign * 60;
    } else if (hours.empty() != minutes.empty()) {
        return boost::none;
    }
    std::tm broken{};
    const std::string dateTime = text.substr(0, 19);
    const char* end = strptime(dateTime.c_str(), "%Y-%m-%dT%H:%M:%S", &broken);
    if (end == nullptr)
        return boost::none;
    return static_cast<double>(timegm(&broken)) + fraction - static_cast<double>(offset);
}

bool sameResult(const boost::optional<double>& a, const boost::optional<double>& b)
{
    return (!a && !b) || (a && b && std::memcmp(&*a, &*b, sizeof(double)) == 0);
}

// The fast path, where it decides, and parseTimestamp as a whole give the reference's result.
void checkAgainstReferencePath(const std::string& text)
{
    namespace pulsar = com::velmora::connectivity::plugins::pulsar;
    const auto reference = pulsar::parseTimestampReference(text.c_str());
    const auto fast = pulsar::parseCanonicalTimestamp(text.c_str());
    const auto parsed = pulsar::parseTimestamp(text.c_str());
    if ((fast && !sameResult(fast, reference)) || !sameResult(parsed, reference)) {
        std::fprintf(stderr, "timestamp: '%s' fast path %a, parseTimestamp %a, reference %a\n", text.c_str(),
                     fast ? *fast : -0.0, parsed ? *parsed : -0.0, reference ? *reference : -0.0);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkAgainstReferencePath(text);
    const auto parsed = com::velmora::connectivity::plugins::pulsar::parseTimestamp(text.c_str());
    if (!parsed)
        return 0;
    // The parser sees the text up to its first NUL.
    const auto expected = reference(std::string(text.c_str()));
    if (!expected || !(*expected == *parsed)) {
        std::fprintf(stderr, "timestamp: '%s' parsed as %.6f, reference %s%.6f\n", text.c_str(), *parsed,
                     expected ? "" : "(none) ", expected ? *expected : 0.0);
        std::abort();
    }
    return 0;
}
