// Platform times (ISO 8601 with a fraction of a second and a zone designator)
// as seconds since the Unix epoch.
#pragma once

#include <boost/optional.hpp>

namespace com::velmora::connectivity::plugins::pulsar {

// No result for a null or unusable text; never throws, so each caller decides
// whether an unusable time is an error or is carried as it came.
boost::optional<double> parseTimestamp(const char* text) noexcept;

} // namespace com::velmora::connectivity::plugins::pulsar
