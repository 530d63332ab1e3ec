// A real Prometheus server (Debian's), on 127.0.0.1 with a configuration of ours in a
// scratch folder, scrapes the consumer's endpoint each second; what it stored is read
// back through its query API, so the page is one Prometheus takes, not one that only
// looks right.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "tests/consume/http_get.h"
#include "tests/replay/replay_fixture.h"
#include "tools/consume/consume_metrics.h"
#include "tools/consume/metrics_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using consume_testing::httpGet;

class PrometheusScrape : public replay_testing::ReplayTest {
protected:
    // The value Prometheus holds for query, or "" while it has none.
    static std::string queried(uint16_t port, const std::string& query)
    {
        const consume_testing::HttpAnswer answer = httpGet(port, "/api/v1/query?query=" + query);
        std::smatch value;
        static const std::regex sample(R"re("value":\[[0-9.]+,"([^"]*)"\])re");
        return answer.status == 200 && std::regex_search(answer.body, value, sample) ? value[1].str() : "";
    }

    // Waits, a few seconds at most, for Prometheus to hold `expected` for query; the last value seen.
    static std::string waitForValue(uint16_t port, const std::string& query, const std::string& expected)
    {
        const auto deadline = Clock::now() + 15s;
        std::string value;
        while (Clock::now() < deadline && (value = queried(port, query)) != expected)
            std::this_thread::sleep_for(200ms);
        return value;
    }
};

TEST_F(PrometheusScrape, PrometheusStoresTheAcknowledgedCountAsTheConsumerCountsIt)
{
    consume::ConsumeMetrics metrics;
    metrics.framesAcknowledged.add(42);
    metrics.eventsWritten.add("com.orbel.tessaro.Alarm", 40);
    consume::MetricsServer server(metrics, std::chrono::milliseconds(60000));
    std::string reason;
    ASSERT_TRUE(server.start({"127.0.0.1", 0}, reason)) << reason;

    const uint16_t prometheusPort = consume_testing::unusedPort();
    ASSERT_NE(prometheusPort, 0);
    const std::string config = writeInput("prometheus.yml", "global:\n"
                                                            "  scrape_interval: 1s\n"
                                                            "  scrape_timeout: 1s\n"
                                                            "scrape_configs:\n"
                                                            "  - job_name: tessaro-consume\n"
                                                            "    static_configs:\n"
                                                            "      - targets: ['127.0.0.1:" +
                                                                std::to_string(server.port()) + "']\n");
    replay_testing::ToolProcess prometheus(
        {"/usr/bin/prometheus", "--config.file=" + config,
         "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort),
         "--storage.tsdb.path=" + directory() + "/data", "--log.level=warn"},
        directory() + "/prometheus.log");

    EXPECT_EQ(waitForValue(prometheusPort, "tessaro_consume_frames_acknowledged_total", "42"), "42")
        << replay_testing::contentsOf(directory() + "/prometheus.log");
    EXPECT_EQ(queried(prometheusPort,
                      "tessaro_consume_events_written_total%7Btype%3D%22com.orbel.tessaro.Alarm%22%7D"),
              "40");
    // A later scrape sees the counter move: the page is made afresh each time.
    metrics.framesAcknowledged.add(8);
    EXPECT_EQ(waitForValue(prometheusPort, "tessaro_consume_frames_acknowledged_total", "50"), "50");
    EXPECT_EQ(queried(prometheusPort, "up"), "1");

    prometheus.signal(SIGTERM);
    EXPECT_EQ(prometheus.wait(), 0) << replay_testing::contentsOf(directory() + "/prometheus.log");
}

} // namespace
