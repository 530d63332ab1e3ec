// A thin layer over the host's vlm_log_at: filters by the level the host
// reported when the Logger was made and puts "<category> " at the head of each line.
#pragma once

#include <cstdint>
#include <string>

#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {

class Logger {
public:
    // Asks the host for the category's level, once.
    explicit Logger(const std::string& category);

    bool isEnabled(std::int32_t level) const noexcept { return level <= level_; }
    std::int32_t level() const noexcept { return level_; }
    const std::string& category() const noexcept { return category_; }

    // Callers that log text composed at run time pass it as the argument of "%s".
    template <class... Args> void log(std::int32_t level, const char* format, Args... args) const
    {
        if (!isEnabled(level))
            return;
        const std::string prefixed = "<%s> " + std::string(format);
        vlm_log_at(category_.c_str(), level, prefixed.c_str(), category_.c_str(), args...);
    }
    template <class... Args> void error(const char* format, Args... args) const
    {
        log(levelError, format, args...);
    }
    template <class... Args> void debug(const char* format, Args... args) const
    {
        log(levelDebug, format, args...);
    }

    static constexpr std::int32_t levelCritical = 2;
    static constexpr std::int32_t levelError = 3;
    static constexpr std::int32_t levelDebug = 6;

private:
    std::string category_;
    std::int32_t level_;
};

} // namespace com::velmora::connectivity10_15_4
