// How an entry point reports the exception it caught: one line naming the
// operation, with the exception's text when it has one.
#pragma once

#include <cstdint>

#include "connectivity/framework/logger.h"

namespace com::velmora::connectivity10_15_4 {

// Call only while an exception is being handled: it is rethrown to learn its type.
// Never throws, so a failure to log cannot escape into the host.
void logCurrentException(const Logger& logger, std::int32_t level, const char* operation) noexcept;

} // namespace com::velmora::connectivity10_15_4
