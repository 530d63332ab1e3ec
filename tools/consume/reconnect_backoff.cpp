#include "tools/consume/reconnect_backoff.h"

#include <algorithm>

namespace consume {

ReconnectBackoff::ReconnectBackoff(std::chrono::milliseconds cap)
    : cap_(cap), current_(std::min(firstBackoff, cap)), random_(std::random_device{}())
{}

std::chrono::milliseconds ReconnectBackoff::next()
{
    std::uniform_int_distribution<long> jitter(current_.count() / 2, current_.count());
    const std::chrono::milliseconds wait(jitter(random_));
    current_ = std::min(2 * current_, cap_);
    return wait;
}

void ReconnectBackoff::reset()
{
    current_ = std::min(firstBackoff, cap_);
}

} // namespace consume
