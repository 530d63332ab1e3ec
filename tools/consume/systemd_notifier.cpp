#include "tools/consume/systemd_notifier.h"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdlib>

namespace consume {

SystemdNotifier::SystemdNotifier() : enabled_(std::getenv("NOTIFY_SOCKET") != nullptr)
{
    uint64_t timeout = 0;
    // Also checks WATCHDOG_PID, so a child that inherited the environment does not ping for its parent.
    if (enabled_ && sd_watchdog_enabled(0, &timeout) > 0)
        watchdogInterval_ = std::chrono::microseconds(timeout / 2);
}

void SystemdNotifier::ready(const std::string& status)
{
    send("READY=1\n", status);
}

void SystemdNotifier::status(const std::string& status)
{
    send("", status);
}

void SystemdNotifier::watchdog(const std::string& status)
{
    send("WATCHDOG=1\n", status);
}

void SystemdNotifier::stopping(const std::string& status)
{
    send("STOPPING=1\n", status);
}

// One datagram, so the manager takes the state and the status together. A failed send is not
// an error of ours: the manager then acts on the missing message (the watchdog's timeout).
void SystemdNotifier::send(const char* state, const std::string& status)
{
    if (!enabled_)
        return;
    std::string message = state;
    message += "STATUS=" + status;
    // A line end would start another assignment: the status is one line.
    for (size_t i = message.size() - status.size(); i < message.size(); ++i) {
        if (message[i] == '\n')
            message[i] = ' ';
    }
    sd_notify(0, message.c_str());
}

} // namespace consume
