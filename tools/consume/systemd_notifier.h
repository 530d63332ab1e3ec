// Tells the service manager how the consumer is doing: ready, its status, that its
// loop still runs (the watchdog) and that it is stopping. Without NOTIFY_SOCKET in
// the environment (not started by systemd, or without Type=notify) it does nothing.
#pragma once

#include <chrono>
#include <string>

namespace consume {

class SystemdNotifier {
public:
    // Reads the environment once: the socket, and the watchdog's timeout if one is asked for.
    SystemdNotifier();

    bool enabled() const { return enabled_; }
    // Half the watchdog's timeout, so that one late ping is not yet a failure; zero without a watchdog.
    std::chrono::microseconds watchdogInterval() const { return watchdogInterval_; }

    // Once the plug-in is loaded and the first connection attempt has begun.
    void ready(const std::string& status);
    void status(const std::string& status);
    // From the loop the watchdog guards, so that a stuck loop stops the pings.
    void watchdog(const std::string& status);
    // When draining begins.
    void stopping(const std::string& status);

private:
    void send(const char* state, const std::string& status);

    bool enabled_ = false;
    std::chrono::microseconds watchdogInterval_{0};
};

} // namespace consume
