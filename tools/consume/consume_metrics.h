// Every figure the live consumer reports while it runs: the Prometheus page and the
// health check read these, and so can the summary at stop, so all of them agree.
// The worker and network threads update them without locks.
#pragma once

#include <chrono>
#include <string>

#include "tools/consume/connection_state.h"
#include "tools/consume/metric_types.h"

namespace consume {

// The MQTT output's figures, fed by its publisher thread and by whoever publishes.
struct BrokerMetrics {
    Counter publishes;
    Counter acknowledgements; // PUBACK at QoS 1, PUBCOMP at QoS 2; written to the socket at QoS 0
    LabelledCounter reconnects{"cause"};
    Gauge inFlight; // published and not yet acknowledged
};

struct ConsumeMetrics {
    // Network side.
    Counter framesReceived;
    Counter framesAcknowledged;
    LabelledCounter reconnects{"cause"};
    ConnectionState connection;
    Gauge acknowledgementsWaiting;
    Gauge bytesInFlight;
    Timestamp lastAcknowledgement;

    // Worker side.
    LabelledCounter eventsWritten{"type"};
    Counter passedThrough;
    LabelledCounter framesSkipped{"action"};
    Counter droppedByCodec;
    Counter frameErrors;
    Histogram batchConversion;
    Histogram outputSync;
    Counter outputWriteErrors;
    Counter captureWriteErrors;

    // Shown only for a broker output; set before any other thread reads the metrics.
    bool brokerOutput = false;
    BrokerMetrics broker;
};

// The page served at /metrics, in the Prometheus text exposition format.
std::string renderMetricsPage(const ConsumeMetrics& metrics);

// One line for the service manager's status: the phase and the main counts.
std::string statusLine(const ConsumeMetrics& metrics);

struct HealthReport {
    bool healthy = false;
    std::string text; // the response body, one line
};

// Healthy while the connection is open or was open within reconnectMax plus a minute: longer
// than that, the backoff alone cannot explain it.
HealthReport assessHealth(const ConnectionState& connection, std::chrono::milliseconds reconnectMax,
                          ConnectionState::Clock::time_point now = ConnectionState::Clock::now());

} // namespace consume
