#include "tools/consume/operations.h"

#include <cstdio>

#include "tools/consume/consume_texts.h"
#include "tools/consume/operations_texts.h"

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
    if (!server_->start(options_.metrics, reason))
        return false;
    if (!options_.quiet) {
        const bool bracketed = options_.metrics.host.find(':') != std::string::npos;
        std::fprintf(stderr, "%s: %s%s%s%s:%u%s\n", texts::toolName, texts::servingMetrics,
                     bracketed ? "[" : "", options_.metrics.host.c_str(), bracketed ? "]" : "",
                     static_cast<unsigned>(server_->port()), texts::servingHealth);
    }
    return true;
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
