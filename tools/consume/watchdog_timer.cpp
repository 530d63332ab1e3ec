#include "tools/consume/watchdog_timer.h"

#include <utility>

namespace consume {

WatchdogTimer::WatchdogTimer(boost::asio::io_context& loop, SystemdNotifier& notifier,
                             std::function<std::string()> status)
    : timer_(loop), notifier_(notifier), status_(std::move(status))
{}

void WatchdogTimer::start()
{
    if (notifier_.watchdogInterval().count() == 0)
        return;
    notifier_.watchdog(status_());
    arm();
}

void WatchdogTimer::arm()
{
    timer_.expires_after(notifier_.watchdogInterval());
    timer_.async_wait([this](const boost::system::error_code& error) {
        // Checked before touching this: a destroyed timer aborts its wait.
        if (error)
            return;
        notifier_.watchdog(status_());
        arm();
    });
}

} // namespace consume
