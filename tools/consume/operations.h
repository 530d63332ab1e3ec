// What an operator sees of a running consumer besides its log: the metrics endpoint when
// --metrics asks for it, and the service manager's readiness, status, watchdog and stopping.
#pragma once

#include <memory>
#include <string>

#include "tools/consume/connection_phase.h"
#include "tools/consume/consume_metrics.h"
#include "tools/consume/consume_options.h"
#include "tools/consume/metrics_server.h"
#include "tools/consume/systemd_notifier.h"
#include "tools/consume/watchdog_timer.h"

namespace consume {

class Operations {
public:
    // Both must outlive this.
    Operations(const Options& options, const ConsumeMetrics& metrics);
    Operations(const Operations&) = delete;
    Operations& operator=(const Operations&) = delete;
    ~Operations();

    // Serves the metrics if asked for; false with the reason when the address cannot be used.
    bool start(std::string& reason);
    // On the loop's thread, once the first connection attempt has begun: ready, and the watchdog's pings.
    void loopStarted(boost::asio::io_context& loop);
    // On the loop's thread; a stop's draining is the service manager's stopping.
    void phaseEntered(Phase phase);
    // Before the loop goes away.
    void loopEnded();

private:
    const Options& options_;
    const ConsumeMetrics& metrics_;
    SystemdNotifier notifier_;
    std::unique_ptr<MetricsServer> server_;
    std::unique_ptr<WatchdogTimer> watchdog_;
};

} // namespace consume
