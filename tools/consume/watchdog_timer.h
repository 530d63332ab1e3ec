// Pings the service manager's watchdog from an event loop at the interval it asks
// for, with the current status: if the loop stops turning, the pings stop, and the
// manager restarts the process.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <functional>
#include <string>

#include "tools/consume/systemd_notifier.h"

namespace consume {

class WatchdogTimer {
public:
    // status gives the text sent with each ping. Nothing happens without a watchdog.
    WatchdogTimer(boost::asio::io_context& loop, SystemdNotifier& notifier,
                  std::function<std::string()> status);
    WatchdogTimer(const WatchdogTimer&) = delete;
    WatchdogTimer& operator=(const WatchdogTimer&) = delete;

    // Pings until the timer is destroyed with the loop's end.
    void start();

private:
    void arm();

    boost::asio::steady_timer timer_;
    SystemdNotifier& notifier_;
    std::function<std::string()> status_;
};

} // namespace consume
