#include "tools/consume/connection_state.h"

namespace consume {

void ConnectionState::enter(Phase phase, Clock::time_point now)
{
    // The time goes first: a health check that sees the new phase must not see an older time.
    if (phase_.load(std::memory_order_relaxed) == Phase::Open || phase == Phase::Open)
        lastOpen_.store(now.time_since_epoch().count(), std::memory_order_relaxed);
    phase_.store(phase, std::memory_order_release);
}

void ConnectionState::failed(const std::string& cause)
{
    const std::lock_guard<std::mutex> lock(failureLock_);
    lastFailure_ = cause;
}

ConnectionState::Clock::time_point ConnectionState::lastOpen(Clock::time_point now) const
{
    if (phase_.load(std::memory_order_acquire) == Phase::Open)
        return now;
    return Clock::time_point(Clock::duration(lastOpen_.load(std::memory_order_relaxed)));
}

std::string ConnectionState::lastFailure() const
{
    const std::lock_guard<std::mutex> lock(failureLock_);
    return lastFailure_;
}

} // namespace consume
