#include "tools/consume/consume_metrics.h"

#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

#include <limits>
#include <vector>

#include "tools/consume/operations_texts.h"

namespace consume {

namespace {

using Families = std::vector<prometheus::MetricFamily>;

// How long the connection may have been away before health fails, beyond the longest backoff.
constexpr std::chrono::seconds healthGrace{60};

prometheus::MetricFamily& addFamily(Families& families, const char* name, const char* help,
                                    prometheus::MetricType type)
{
    prometheus::MetricFamily& family = families.emplace_back();
    family.name = name;
    family.help = help;
    family.type = type;
    return family;
}

void addCounter(Families& families, const char* name, const char* help, uint64_t value)
{
    addFamily(families, name, help, prometheus::MetricType::Counter).metric.emplace_back().counter.value =
        static_cast<double>(value);
}

void addGauge(Families& families, const char* name, const char* help, double value)
{
    addFamily(families, name, help, prometheus::MetricType::Gauge).metric.emplace_back().gauge.value = value;
}

void addLabelled(Families& families, const char* name, const char* help, const LabelledCounter& counter)
{
    prometheus::MetricFamily& family = addFamily(families, name, help, prometheus::MetricType::Counter);
    for (const auto& [label, count] : counter.values()) {
        prometheus::ClientMetric& metric = family.metric.emplace_back();
        metric.label.push_back({counter.labelName(), label});
        metric.counter.value = static_cast<double>(count);
    }
}

void addHistogram(Families& families, const char* name, const char* help, const Histogram& histogram)
{
    const Histogram::Reading reading = histogram.read();
    prometheus::ClientMetric& metric =
        addFamily(families, name, help, prometheus::MetricType::Histogram).metric.emplace_back();
    for (size_t i = 0; i < Histogram::bounds.size(); ++i)
        metric.histogram.bucket.push_back({reading.cumulative[i], Histogram::bounds[i]});
    metric.histogram.bucket.push_back({reading.cumulative.back(), std::numeric_limits<double>::infinity()});
    metric.histogram.sample_count = reading.cumulative.back();
    metric.histogram.sample_sum = reading.sumSeconds;
}

// One series per phase, the current one 1: a query can select a phase by its label.
void addPhase(Families& families, Phase current)
{
    prometheus::MetricFamily& family = addFamily(
        families, "tessaro_consume_connection_phase",
        "The connection's phase: 1 for the current one, 0 for the others.", prometheus::MetricType::Gauge);
    for (size_t index = 0; index < phaseCount; ++index) {
        const auto phase = static_cast<Phase>(index);
        prometheus::ClientMetric& metric = family.metric.emplace_back();
        metric.label.push_back({"phase", phaseName(phase)});
        metric.gauge.value = phase == current ? 1 : 0;
    }
}

void addBroker(Families& families, const BrokerMetrics& broker)
{
    addCounter(families, "tessaro_consume_broker_publishes_total", "Events handed to the MQTT broker.",
               broker.publishes.value());
    addCounter(families, "tessaro_consume_broker_acknowledgements_total",
               "Events the broker acknowledged: PUBACK at QoS 1, PUBCOMP at QoS 2, written at QoS 0.",
               broker.acknowledgements.value());
    addLabelled(families, "tessaro_consume_broker_reconnects_total", "Broker reconnections, by cause.",
                broker.reconnects);
    addGauge(families, "tessaro_consume_broker_messages_in_flight",
             "Events handed to the broker and not yet acknowledged.",
             static_cast<double>(broker.inFlight.value()));
}

} // namespace

std::string renderMetricsPage(const ConsumeMetrics& metrics)
{
    Families families;
    addCounter(families, "tessaro_consume_frames_received_total", "Frames received from the service.",
               metrics.framesReceived.value());
    addCounter(families, "tessaro_consume_frames_acknowledged_total",
               "Frames acknowledged to the service, each once its events were durable.",
               metrics.framesAcknowledged.value());
    addLabelled(families, "tessaro_consume_events_written_total",
                "Events written to the output, by event type.", metrics.eventsWritten);
    addCounter(families, "tessaro_consume_messages_passed_through_total",
               "Messages written without an event type.", metrics.passedThrough.value());
    addLabelled(families, "tessaro_consume_frames_skipped_total",
                "Frames acknowledged without conversion, their action not asked for.", metrics.framesSkipped);
    addCounter(families, "tessaro_consume_frames_dropped_total", "Frames the codec dropped.",
               metrics.droppedByCodec.value());
    addCounter(families, "tessaro_consume_frame_errors_total", "Frames that could not be read.",
               metrics.frameErrors.value());
    addLabelled(families, "tessaro_consume_reconnects_total", "Reconnections, by cause.", metrics.reconnects);
    addPhase(families, metrics.connection.phase());
    addGauge(families, "tessaro_consume_acknowledgements_waiting",
             "Acknowledgements owed to the service and not yet sent.",
             static_cast<double>(metrics.acknowledgementsWaiting.value()));
    addGauge(families, "tessaro_consume_in_flight_bytes",
             "Bytes of frames received and not yet acknowledged.",
             static_cast<double>(metrics.bytesInFlight.value()));
    addGauge(families, "tessaro_consume_last_acknowledgement_timestamp_seconds",
             "When the last acknowledgement was sent, in seconds since the epoch; 0 before the first.",
             metrics.lastAcknowledgement.seconds());
    addHistogram(families, "tessaro_consume_batch_conversion_seconds",
                 "Time to convert a batch of frames through the codec.", metrics.batchConversion);
    addHistogram(families, "tessaro_consume_output_sync_seconds",
                 "Time to make a batch's events durable in the output.", metrics.outputSync);
    addCounter(families, "tessaro_consume_output_write_errors_total", "Failed writes or syncs of the output.",
               metrics.outputWriteErrors.value());
    addCounter(families, "tessaro_consume_capture_write_errors_total", "Failed writes of the capture file.",
               metrics.captureWriteErrors.value());
    if (metrics.brokerOutput)
        addBroker(families, metrics.broker);
    return prometheus::TextSerializer().Serialize(families);
}

std::string statusLine(const ConsumeMetrics& metrics)
{
    return std::string(phaseName(metrics.connection.phase())) + ": " +
           std::to_string(metrics.framesReceived.value()) + " frames received, " +
           std::to_string(metrics.framesAcknowledged.value()) + " acknowledged, " +
           std::to_string(metrics.eventsWritten.total()) + " events written, " +
           std::to_string(metrics.reconnects.total()) + " reconnects";
}

HealthReport assessHealth(const ConnectionState& connection, std::chrono::milliseconds reconnectMax,
                          ConnectionState::Clock::time_point now)
{
    const Phase phase = connection.phase();
    HealthReport report;
    report.healthy = now - connection.lastOpen(now) <= reconnectMax + healthGrace;
    report.text = std::string(report.healthy ? texts::healthy : texts::unhealthy) + texts::healthPhase +
                  phaseName(phase);
    const std::string failure = connection.lastFailure();
    if (!failure.empty())
        report.text += texts::healthLastFailure + failure;
    report.text += '\n';
    return report;
}

} // namespace consume
