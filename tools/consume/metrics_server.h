// The consumer's operations endpoint: GET /metrics (the Prometheus text page) and
// GET /health (200 or 503 with the phase and the last failure). It runs on a thread of
// its own, so a scrape never waits for the connection's loop and a stuck loop still
// shows in the page; it only reads the metrics.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/consume/consume_metrics.h"
#include "tools/consume/listen_address.h"

namespace consume {

class MetricsServer {
public:
    // reconnectMax decides health (see assessHealth). metrics must outlive the server.
    MetricsServer(const ConsumeMetrics& metrics, std::chrono::milliseconds reconnectMax);
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;
    // Stops serving; connections still open are closed.
    ~MetricsServer();

    // Listens and starts the thread; false with the reason when the address cannot be used.
    bool start(const ListenAddress& address, std::string& reason);
    // The port listened on, the system's choice when 0 was asked for.
    uint16_t port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace consume
