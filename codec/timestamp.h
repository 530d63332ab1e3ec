// Platform times (ISO 8601 with milliseconds and a zone designator) as seconds
// since the Unix epoch.
#pragma once

#include <boost/optional.hpp>

namespace com::velmora::connectivity::plugins::pulsar {

// No result for a null or unusable text; never throws, so each caller decides
// whether an unusable time is an error or is carried as it came. Canonical texts
// take the fast path; every other text is left to the reference.
boost::optional<double> parseTimestamp(const char* text) noexcept;

// The two halves of parseTimestamp, apart so that each can be checked against the other.

// Reads the date and time with std::get_time and decides every text: the
// definition of what parseTimestamp gives.
boost::optional<double> parseTimestampReference(const char* text) noexcept;
// Reads only fixed-position digits with fields in the ranges std::get_time
// accepts, and the zones "Z", "+hh:mm" and "+hhmm". No result means the text
// was not decided here, not that it is unusable.
boost::optional<double> parseCanonicalTimestamp(const char* text) noexcept;

} // namespace com::velmora::connectivity::plugins::pulsar
