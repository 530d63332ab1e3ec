#include "tools/consume/operations.h"

namespace consume {

Operations::Operations(const Options& options, const ConsumeMetrics& metrics)
    : options_(options), metrics_(metrics)
{}

// The server's thread reads the metrics, which outlive it.
Operations::~Operations() = default;

bool Operations::start(std::string& reason)
{
    if (!options_.serveMetrics)
        return true;
    server_ = std::make_unique<MetricsServer>(metrics_, options_.reconnectMax);
    return server_->start(options_.metrics, reason);
}

void Operations::loopStarted(boost::asio::io_context& loop)
{
    notifier_.ready(statusLine(metrics_));
    watchdog_ = std::make_unique<WatchdogTimer>(loop, notifier_, [this] { return statusLine(metrics_); });
    watchdog_->start();
}

void Operations::phaseEntered(Phase phase)
{
    if (phase == Phase::Draining)
        notifier_.stopping(statusLine(metrics_));
    else
        notifier_.status(statusLine(metrics_));
}

void Operations::loopEnded()
{
    watchdog_.reset();
}

} // namespace consume
