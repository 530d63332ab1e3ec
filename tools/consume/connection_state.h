// The connection's phase as operators see it, with what health needs: when the
// connection was last open and why it last failed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "tools/consume/connection_phase.h"

namespace consume {

class ConnectionState {
public:
    using Clock = std::chrono::steady_clock;

    // The start counts as a moment the connection was open, so that a fresh process is given the
    // same grace as one that has just lost its connection.
    ConnectionState() : lastOpen_(Clock::now().time_since_epoch().count()) {}

    // Called by the one thread that runs the connection.
    void enter(Phase phase, Clock::time_point now = Clock::now());
    // Why the connection was lost or could not be made, as the summary names the cause.
    void failed(const std::string& cause);

    Phase phase() const { return phase_.load(std::memory_order_relaxed); }
    // Now while open; else the moment it was last left, or the start.
    Clock::time_point lastOpen(Clock::time_point now = Clock::now()) const;
    std::string lastFailure() const;

private:
    std::atomic<Phase> phase_{Phase::Connecting};
    std::atomic<Clock::rep> lastOpen_;
    mutable std::mutex failureLock_;
    std::string lastFailure_;
};

} // namespace consume
