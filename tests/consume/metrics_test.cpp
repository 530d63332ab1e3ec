// The consumer's figures as an operator reads them: the series kept without locks by several threads,
// and the page (checked by Prometheus's own promtool) and health the endpoint serves on 127.0.0.1.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/consume/http_get.h"
#include "tests/replay/replay_fixture.h"
#include "tools/consume/consume_metrics.h"
#include "tools/consume/metrics_server.h"

namespace {

using namespace std::chrono_literals;
using consume::ConsumeMetrics;
using consume::Phase;
using consume_testing::httpGet;
using replay_testing::mentions;
using Clock = consume::ConnectionState::Clock;

class ConsumeMetricsTest : public replay_testing::ReplayTest {};

TEST_F(ConsumeMetricsTest, CountsFromSeveralThreadsAddUpExactly)
{
    ConsumeMetrics metrics;
    constexpr uint64_t threads = 4;
    constexpr uint64_t rounds = 20000;
    std::vector<std::thread> workers;
    for (uint64_t t = 0; t < threads; ++t) {
        workers.emplace_back([&metrics, t] {
            for (uint64_t i = 0; i < rounds; ++i) {
                metrics.framesReceived.add();
                metrics.eventsWritten.add(std::string(1, static_cast<char>('A' + (i + t) % 3)));
                metrics.batchConversion.observe(std::chrono::microseconds(i % 7));
            }
        });
    }
    while (metrics.framesReceived.value() < threads * rounds) // scrapes race the writers, as in a live run
        consume::renderMetricsPage(metrics);
    for (std::thread& worker : workers)
        worker.join();
    std::map<std::string, uint64_t> expected;
    for (uint64_t n = 0; n < threads * rounds; ++n)
        ++expected[std::string(1, static_cast<char>('A' + (n % rounds + n / rounds) % 3))];
    const auto written = metrics.eventsWritten.values();
    EXPECT_EQ((std::map<std::string, uint64_t>(written.begin(), written.end())), expected);
    EXPECT_EQ(metrics.batchConversion.read().cumulative.back(), threads * rounds);
}

TEST_F(ConsumeMetricsTest, LabelsPastTheCapacityAreCountedTogether)
{
    consume::LabelledCounter counter("type");
    const size_t labels = consume::LabelledCounter::capacity + 10;
    for (size_t i = 0; i < labels; ++i)
        counter.add("t" + std::to_string(i), 2);
    counter.add("t0");
    counter.add("t70");
    const auto values = counter.values();
    ASSERT_EQ(values.size(), consume::LabelledCounter::capacity);
    EXPECT_EQ(values.front(), std::make_pair(std::string("t0"), uint64_t{3}));
    EXPECT_EQ(values.back().first, consume::LabelledCounter::overflowLabel);
    EXPECT_EQ(values.back().second, 2 * (labels - (consume::LabelledCounter::capacity - 1)) + 1);
    EXPECT_EQ(counter.total(), 2 * labels + 2);
}

TEST_F(ConsumeMetricsTest, DurationsFallInTheBucketOfTheirUpperBound)
{
    // A duration, and the index of the first bucket that counts it (bounds.size(): only +Inf).
    const std::pair<std::chrono::nanoseconds, size_t> cases[] = {
        {0ns, 0}, {100us, 0}, {101us, 1}, {1ms, 3}, {1500us, 4}, {10s, 15}, {10001ms, 16}, {-5ns, 0},
    };
    for (const auto& [duration, first] : cases) {
        consume::Histogram histogram;
        histogram.observe(duration);
        const consume::Histogram::Reading reading = histogram.read();
        for (size_t i = 0; i < reading.cumulative.size(); ++i)
            EXPECT_EQ(reading.cumulative[i], i >= first ? 1u : 0u) << duration.count() << "ns, bucket " << i;
    }
}

TEST_F(ConsumeMetricsTest, HealthFailsOnlyOnceTheConnectionIsAwayLongerThanBackoffAllows)
{
    const auto start = Clock::now();
    constexpr auto reconnectMax = std::chrono::milliseconds(10000); // health allows 70 s away
    struct Case {
        std::vector<Phase> phases;  // entered at the start, in order
        std::chrono::seconds later; // when health is asked
        bool healthy;
    };
    const Case cases[] = {
        {{}, 69s, true},                            // the start counts as open
        {{}, 71s, false},                           // never connected since
        {{Phase::Open}, 3600s, true},               // open all along
        {{Phase::Open, Phase::Backoff}, 69s, true}, // away within the allowance
        {{Phase::Open, Phase::Backoff}, 71s, false},
        {{Phase::Open, Phase::Draining}, 71s, false},
        {{Phase::Open, Phase::Stopped}, 10s, true},
    };
    for (const Case& c : cases) {
        consume::ConnectionState connection;
        for (const Phase phase : c.phases)
            connection.enter(phase, start);
        connection.failed("connection failed: refused");
        const consume::HealthReport report = consume::assessHealth(connection, reconnectMax, start + c.later);
        EXPECT_EQ(report.healthy, c.healthy) << report.text << " after " << c.later.count() << " s";
        const std::string phase = c.phases.empty() ? "connecting" : consume::phaseName(c.phases.back());
        EXPECT_EQ(report.text, std::string(c.healthy ? "ok" : "unhealthy") + ", phase " + phase +
                                   ", last failure: connection failed: refused\n");
    }
}

// What the endpoint serves, health as it changes, and a second server refused with its reason.
TEST_F(ConsumeMetricsTest, EndpointServesEverySeriesAsPromtoolWantsItHealthAndNothingElse)
{
    ConsumeMetrics metrics;
    // Every series with a value that is not its starting one.
    metrics.framesReceived.add(12);
    metrics.framesAcknowledged.add(10);
    metrics.eventsWritten.add("com.orbel.tessaro.Alarm", 3);
    metrics.eventsWritten.add("com.orbel.tessaro.Event", 4);
    metrics.passedThrough.add(1);
    metrics.framesSkipped.add("DELETE", 2);
    metrics.droppedByCodec.add(1);
    metrics.frameErrors.add(1);
    metrics.reconnects.add("connection failed", 2);
    metrics.reconnects.add("subscription busy (409)");
    metrics.connection.enter(Phase::Open);
    metrics.acknowledgementsWaiting.set(2);
    metrics.bytesInFlight.set(4096);
    metrics.lastAcknowledgement.set(std::chrono::system_clock::time_point(1706781600500ms));
    metrics.batchConversion.observe(200us);
    metrics.batchConversion.observe(3ms);
    metrics.outputSync.observe(20s);
    metrics.outputWriteErrors.add(1);
    metrics.captureWriteErrors.add(2);
    metrics.brokerOutput = true;
    metrics.broker.publishes.add(9);
    metrics.broker.acknowledgements.add(7);
    metrics.broker.reconnects.add("broker connection lost", 2);
    metrics.broker.inFlight.set(2);
    consume::MetricsServer server(metrics, std::chrono::milliseconds(1000));
    std::string reason;
    ASSERT_TRUE(server.start({"127.0.0.1", 0}, reason)) << reason;

    const consume_testing::HttpAnswer page = httpGet(server.port(), "/metrics");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(mentions(page.headers, "Content-Type: text/plain; version=0.0.4")) << page.headers;
    const auto [status, verdict] = consume_testing::promtoolVerdict(directory(), page.body);
    EXPECT_EQ(status, 0) << verdict << "\n" << page.body;
    EXPECT_EQ(verdict, "") << page.body;
    for (const char* line : {
             "tessaro_consume_frames_received_total 12\n",
             "tessaro_consume_frames_acknowledged_total 10\n",
             "tessaro_consume_events_written_total{type=\"com.orbel.tessaro.Alarm\"} 3\n",
             "tessaro_consume_events_written_total{type=\"com.orbel.tessaro.Event\"} 4\n",
             "tessaro_consume_messages_passed_through_total 1\n",
             "tessaro_consume_frames_skipped_total{action=\"DELETE\"} 2\n",
             "tessaro_consume_frames_dropped_total 1\n",
             "tessaro_consume_frame_errors_total 1\n",
             "tessaro_consume_reconnects_total{cause=\"connection failed\"} 2\n",
             "tessaro_consume_reconnects_total{cause=\"subscription busy (409)\"} 1\n",
             "tessaro_consume_connection_phase{phase=\"open\"} 1\n",
             "tessaro_consume_connection_phase{phase=\"backoff\"} 0\n",
             "tessaro_consume_acknowledgements_waiting 2\n",
             "tessaro_consume_in_flight_bytes 4096\n",
             "tessaro_consume_last_acknowledgement_timestamp_seconds 1706781600.5\n",
             "tessaro_consume_batch_conversion_seconds_bucket{le=\"0.0001\"} 0\n",
             "tessaro_consume_batch_conversion_seconds_bucket{le=\"0.00025\"} 1\n",
             "tessaro_consume_batch_conversion_seconds_bucket{le=\"0.0025\"} 1\n",
             "tessaro_consume_batch_conversion_seconds_bucket{le=\"0.005\"} 2\n",
             "tessaro_consume_batch_conversion_seconds_bucket{le=\"+Inf\"} 2\n",
             "tessaro_consume_batch_conversion_seconds_count 2\n",
             "tessaro_consume_batch_conversion_seconds_sum 0.0032\n",
             "tessaro_consume_output_sync_seconds_bucket{le=\"10\"} 0\n",
             "tessaro_consume_output_sync_seconds_bucket{le=\"+Inf\"} 1\n",
             "tessaro_consume_output_write_errors_total 1\n",
             "tessaro_consume_capture_write_errors_total 2\n",
             "tessaro_consume_broker_publishes_total 9\n",
             "tessaro_consume_broker_acknowledgements_total 7\n",
             "tessaro_consume_broker_reconnects_total{cause=\"broker connection lost\"} 2\n",
             "tessaro_consume_broker_messages_in_flight 2\n",
         })
        EXPECT_TRUE(mentions(page.body, line)) << line << "\n" << page.body;
    EXPECT_EQ(consume::statusLine(metrics),
              "open: 12 frames received, 10 acknowledged, 7 events written, 3 reconnects");

    EXPECT_EQ(httpGet(server.port(), "/health").status, 200);
    // Open long ago, then lost: longer away than the backoff allows.
    metrics.connection.enter(Phase::Backoff, Clock::now() - 300s);
    metrics.connection.failed("no answer to pings");
    const consume_testing::HttpAnswer health = httpGet(server.port(), "/health");
    EXPECT_EQ(health.status, 503);
    EXPECT_EQ(health.body, "unhealthy, phase backoff, last failure: no answer to pings\n");
    metrics.connection.enter(Phase::Open);
    EXPECT_EQ(httpGet(server.port(), "/health").status, 200);

    EXPECT_EQ(httpGet(server.port(), "/").status, 404);
    EXPECT_EQ(httpGet(server.port(), "/metrics", "POST").status, 405);
    // Still serving after the refusals.
    EXPECT_EQ(httpGet(server.port(), "/metrics").status, 200);

    const std::string taken = "127.0.0.1:" + std::to_string(server.port());
    const std::pair<consume::ListenAddress, std::string> refused[] = {
        {{"127.0.0.1", server.port()}, "cannot serve metrics on " + taken + ": "},
        {{"localhost", 9464}, "cannot serve metrics on localhost:9464: "},
    };
    for (const auto& [address, complaint] : refused) {
        consume::MetricsServer second(metrics, std::chrono::milliseconds(1000));
        reason.clear();
        EXPECT_FALSE(second.start(address, reason)) << address.host;
        EXPECT_EQ(reason.rfind(complaint, 0), 0u) << reason;
    }
}

TEST_F(ConsumeMetricsTest, ListenAddressesAreReadAsOperatorsWriteThem)
{
    const std::tuple<const char*, const char*, uint16_t> valid[] = {
        {"127.0.0.1:9464", "127.0.0.1", 9464}, {"0.0.0.0:0", "0.0.0.0", 0}, {"[::1]:9464", "::1", 9464}};
    for (const auto& [text, host, port] : valid) {
        consume::ListenAddress address;
        EXPECT_TRUE(consume::parseListenAddress(text, address)) << text;
        EXPECT_EQ(address.host, host) << text;
        EXPECT_EQ(address.port, port) << text;
    }
    for (const char* text :
         {"::1:9464", "127.0.0.1", ":9464", "127.0.0.1:65536", "127.0.0.1:94x", "[]:9464"}) {
        consume::ListenAddress address;
        EXPECT_FALSE(consume::parseListenAddress(text, address)) << text;
    }
}

} // namespace
