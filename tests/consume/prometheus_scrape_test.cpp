// A live session against the service stand-in, watched as an operator would: its page
// passes promtool, its counts agree with the stand-in's and with the summary, and a real
// Prometheus server (Debian's), on 127.0.0.1 with a configuration of ours in a scratch
// folder, scrapes it each second; what it stored is read back through its query API, so
// the page is one Prometheus takes, not one that only looks right.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "tests/consume/http_get.h"
#include "tests/consume/live_consumer_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using consume_testing::httpGet;

class PrometheusScrape : public consume_testing::LiveConsumer {
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

// The value of an unlabelled series on a page, or -1 without it.
int64_t pageValue(const std::string& page, const std::string& series)
{
    std::smatch value;
    return std::regex_search(page, value, std::regex("\n" + series + " ([0-9]+)\n")) ? std::stoll(value[1])
                                                                                     : -1;
}

TEST_F(PrometheusScrape, ALiveSessionsPageAgreesWithTheStandInTheSummaryAndPrometheus)
{
    constexpr int frames = 40;
    const std::string url = startService(consume_testing::alarmFrames(frames, 3));
    const uint16_t metricsPort = consume_testing::unusedPort();
    ASSERT_NE(metricsPort, 0);
    const auto consumer =
        startConsumer(url, "watched", {"--metrics", "127.0.0.1:" + std::to_string(metricsPort)});
    ASSERT_TRUE(service_->waitFor("all acknowledged"));

    // The stand-in logs each acknowledgement it took; the last may be counted a moment after it was sent.
    const auto deadline = Clock::now() + 5s;
    std::string page;
    while ((page = httpGet(metricsPort, "/metrics").body).empty() ||
           pageValue(page, "tessaro_consume_frames_acknowledged_total") < frames) {
        ASSERT_LT(Clock::now(), deadline) << page;
        std::this_thread::sleep_for(50ms);
    }
    const auto [status, verdict] = consume_testing::promtoolVerdict(directory(), page);
    EXPECT_EQ(status, 0) << verdict << page;
    EXPECT_EQ(pageValue(page, "tessaro_consume_frames_acknowledged_total"),
              static_cast<int64_t>(service_->count("acknowledged ")));
    EXPECT_EQ(pageValue(page, "tessaro_consume_frames_received_total"), frames);
    EXPECT_NE(page.find("tessaro_consume_connection_phase{phase=\"open\"} 1"), std::string::npos) << page;
    EXPECT_NE(page.find("tessaro_consume_events_written_total{type=\"com.orbel.tessaro.Alarm\"} " +
                        std::to_string(frames)),
              std::string::npos)
        << page;

    const uint16_t prometheusPort = consume_testing::unusedPort();
    ASSERT_NE(prometheusPort, 0);
    const std::string config = writeInput("prometheus.yml", "global:\n"
                                                            "  scrape_interval: 1s\n"
                                                            "  scrape_timeout: 1s\n"
                                                            "scrape_configs:\n"
                                                            "  - job_name: tessaro-consume\n"
                                                            "    static_configs:\n"
                                                            "      - targets: ['127.0.0.1:" +
                                                                std::to_string(metricsPort) + "']\n");
    replay_testing::ToolProcess prometheus(
        {"/usr/bin/prometheus", "--config.file=" + config,
         "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort),
         "--storage.tsdb.path=" + directory() + "/data", "--log.level=warn"},
        directory() + "/prometheus.log");
    const std::string expected = std::to_string(frames);
    EXPECT_EQ(waitForValue(prometheusPort, "tessaro_consume_frames_acknowledged_total", expected), expected)
        << replay_testing::contentsOf(directory() + "/prometheus.log");
    EXPECT_EQ(queried(prometheusPort, "up"), "1");
    prometheus.signal(SIGTERM);
    EXPECT_EQ(prometheus.wait(), 0) << replay_testing::contentsOf(directory() + "/prometheus.log");

    consumer->signal(SIGTERM);
    EXPECT_EQ(consumer->wait(), 0);
    const std::string err = replay_testing::contentsOf(errors("watched"));
    EXPECT_EQ(consume_testing::summaryCount(err, "frames acknowledged"), frames) << err;
    EXPECT_EQ(consume_testing::summaryCount(err, "frames received"), frames) << err;
}

} // namespace
