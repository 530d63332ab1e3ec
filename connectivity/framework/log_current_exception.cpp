#include "connectivity/framework/log_current_exception.h"

#include <exception>

#include "connectivity/framework/framework_texts.h"

namespace com::velmora::connectivity10_15_4 {

void logCurrentException(const Logger& logger, std::int32_t level, const char* operation) noexcept
{
    try {
        try {
            throw;
        } catch (const std::exception& error) {
            logger.log(level, texts::exceptionFrom, operation, error.what());
        } catch (...) {
            logger.log(level, texts::unknownExceptionFrom, operation);
        }
    } catch (...) {
        // Composing the line ran out of memory; the caller's status still reports the failure.
    }
}

} // namespace com::velmora::connectivity10_15_4
