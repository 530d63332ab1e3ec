#include "connectivity/framework/logger.h"

namespace com::velmora::connectivity10_15_4 {

// The level is asked for once: a host change reaches only Loggers made afterwards.
Logger::Logger(const std::string& category)
    : category_(category), level_(vlm_get_log_level(category_.c_str()))
{}

} // namespace com::velmora::connectivity10_15_4
