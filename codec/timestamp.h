// Platform times (ISO 8601 with a fraction of a second and a zone designator)
// as seconds since the Unix epoch.
#pragma once

#include <boost/optional.hpp>

namespace com::velmora::connectivity::plugins::pulsar {

// No result for a null or unusable text; never throws, so each caller decides
// whether an unusable time is an error or is carried as it came.
boost::optional<double> parseTimestamp(const char* text) noexcept;

// parseTimestamp's fast reading alone, of the forms the platform itself writes,
// "2024-02-01T10:00:00.000Z" and "2024-02-01T10:00:00.000+01:00": false leaves a
// text to the general reading. Apart so that a test can see that these forms take it.
bool readPlatformForm(const char* text, double& seconds) noexcept;

} // namespace com::velmora::connectivity::plugins::pulsar
