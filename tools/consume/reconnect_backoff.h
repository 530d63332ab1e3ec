// How long to wait before the next connection attempt: from 0.1 s, doubling after
// each failure up to a cap, each wait drawn from its upper half so that consumers
// cut off together do not all come back at the same instant.
#pragma once

#include <chrono>
#include <random>

namespace consume {

constexpr std::chrono::milliseconds firstBackoff{100};

class ReconnectBackoff {
public:
    explicit ReconnectBackoff(std::chrono::milliseconds cap);

    // The wait before the next attempt; the one after it is twice as long, up to the cap.
    std::chrono::milliseconds next();
    // After a connection that worked, start again from the shortest wait.
    void reset();

private:
    std::chrono::milliseconds cap_;
    std::chrono::milliseconds current_;
    std::minstd_rand random_;
};

} // namespace consume
