// tessaro-consume publishing to a real mosquitto on 127.0.0.1, seen by a persistent subscriber and on
// the metrics page, through a broker restart, a kill -9, TLS and settings that cannot work.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/consume/http_get.h"
#include "tests/consume/live_consumer_fixture.h"
#include "tests/consume/mosquitto_broker.h"
#include "tests/consume/mqtt_subscriber.h"
#include "tools/common/exit_status.h"

namespace {

using consume_testing::acknowledgedIds;
using consume_testing::alarmFrames;
using consume_testing::eventIds;
using mqtt_testing::BrokerSetup;
using mqtt_testing::Message;
using mqtt_testing::MosquittoBroker;
using mqtt_testing::Subscriber;
using replay_testing::contentsOf;
using replay_testing::mentions;
using replay_testing::summaryCount;
using namespace std::chrono_literals;

class MqttConsumer : public consume_testing::LiveConsumer {
protected:
    MosquittoBroker& startBroker(const BrokerSetup& setup = {})
    {
        broker_ = std::make_unique<MosquittoBroker>(directory(), setup);
        EXPECT_TRUE(broker_->start()) << broker_->log();
        return *broker_;
    }

    std::string brokerUrl(const std::string& user = "") const
    {
        return "mqtt://" + user + "127.0.0.1:" + std::to_string(broker_->port()) + "/acc";
    }

    // The answer to a GET of target once it mentions piece, or the last one after 15 s.
    static std::string answerMentioning(uint16_t port, const std::string& target, const std::string& piece)
    {
        std::string body;
        for (int tries = 0;
             tries < 150 && !mentions(body = consume_testing::httpGet(port, target).body, piece); ++tries)
            std::this_thread::sleep_for(100ms);
        return body;
    }

    // Every frame acknowledged and every event's id with the subscriber, or the test fails.
    void expectAcknowledgedEventsReceived(Subscriber& subscriber, size_t frames)
    {
        const std::set<std::string> acknowledged = acknowledgedIds(service_->seen());
        EXPECT_EQ(acknowledged.size(), frames);
        std::set<std::string> received;
        subscriber.messagesOnce([&](const std::vector<Message>& messages) {
            std::vector<std::string> payloads;
            for (const Message& message : messages)
                payloads.push_back(message.second);
            received = eventIds(payloads);
            return std::includes(received.begin(), received.end(), acknowledged.begin(), acknowledged.end());
        });
        for (const std::string& id : acknowledged)
            EXPECT_EQ(received.count(id), 1u) << "acknowledged, not received: " << id;
    }

    std::unique_ptr<MosquittoBroker> broker_;
};

// The topic the file output's line goes to: PREFIX/CHANNEL, or PREFIX/passthrough without one.
std::string topicOfLine(const std::string& line)
{
    std::smatch match;
    static const std::regex channel(R"re("vlm\.channel":"([^"]*)")re");
    return "acc/" + (std::regex_search(line, match, channel) ? match[1].str() : std::string("passthrough"));
}

// A real Prometheus scrapes the page each second: what it stores must be what the session counted.
TEST_F(MqttConsumer, EachTopicCarriesTheFileOutputsLinesByteForByteAndPrometheusStoresTheCounts)
{
    startBroker();
    Subscriber subscriber(broker_->port());
    const std::string frames =
        contentsOf(EXAMPLES_DIR "/notifications.frames") + "---\n" + alarmFrames(30, 3);
    const std::string framesFile = writeInput("all.frames", frames);
    const replay_testing::ToolRun replayed =
        runTool({"--quiet", "--config", EXAMPLES_DIR "/config.yaml", "--format", "frames", framesFile});
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    std::map<std::string, std::vector<std::string>> expected;
    size_t lines = 0;
    for (const std::string& line : replay_testing::linesOf(replayed.out)) {
        expected[topicOfLine(line)].push_back(line);
        ++lines;
    }
    ASSERT_GE(expected.size(), 2u); // devices and measurements

    const std::string url = startService(frames);
    const uint16_t metricsPort = consume_testing::unusedPort();
    auto consumer = startConsumerInto(
        url, "c", brokerUrl(),
        {"--config", EXAMPLES_DIR "/config.yaml", "--metrics", "127.0.0.1:" + std::to_string(metricsPort)});
    ASSERT_TRUE(service_->waitFor("all acknowledged"));
    const uint16_t prometheusPort = consume_testing::unusedPort();
    const std::string config = writeInput("prometheus.yml", "global:\n"
                                                            "  scrape_interval: 1s\n"
                                                            "  scrape_timeout: 1s\n"
                                                            "scrape_configs:\n"
                                                            "  - job_name: tessaro-consume\n"
                                                            "    static_configs:\n"
                                                            "      - targets: ['127.0.0.1:" +
                                                                std::to_string(metricsPort) + "']\n");
    const std::string prometheusLog = directory() + "/prometheus.log";
    replay_testing::ToolProcess prometheus(
        {"/usr/bin/prometheus", "--config.file=" + config,
         "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort),
         "--storage.tsdb.path=" + directory() + "/data", "--log.level=warn"},
        prometheusLog);
    const std::pair<const char*, size_t> series[] = {
        {"tessaro_consume_frames_acknowledged_total", service_->count("acknowledged ")},
        {"tessaro_consume_broker_publishes_total", lines},
        {"tessaro_consume_broker_acknowledgements_total", lines},
        {"tessaro_consume_broker_messages_in_flight", 0},
        {"tessaro_consume_connection_phase%7Bphase%3D%22open%22%7D", 1},
    };
    for (const auto& [query, value] : series) {
        const std::string stored = ",\"" + std::to_string(value) + "\"]";
        EXPECT_TRUE(mentions(
            answerMentioning(prometheusPort, std::string("/api/v1/query?query=") + query, stored), stored))
            << query << " " << value << "\n"
            << contentsOf(prometheusLog);
    }
    prometheus.signal(SIGTERM);
    EXPECT_EQ(prometheus.wait(), 0) << contentsOf(prometheusLog);
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    std::map<std::string, std::vector<std::string>> received;
    for (const Message& message : subscriber.messages(lines))
        received[message.first].push_back(message.second);
    EXPECT_EQ(received, expected);
    const std::string err = contentsOf(errors("c"));
    EXPECT_EQ(summaryCount(err, "broker publishes"), static_cast<int64_t>(lines)) << err;
    EXPECT_EQ(summaryCount(err, "broker acknowledgements"), static_cast<int64_t>(lines)) << err;
    EXPECT_EQ(summaryCount(err, "broker messages in flight at stop"), 0) << err;
}

// A kill -9 of the consumer, then the broker stopped mid-stream and started again on its persistence:
// nothing is acknowledged while the broker is down, and every acknowledged frame's event arrives.
TEST_F(MqttConsumer, AKilledConsumerAndABrokerRestartLoseNoAcknowledgedEvent)
{
    startBroker();
    Subscriber subscriber(broker_->port());
    const std::string url = startService(alarmFrames(150, 5), {"--pace-ms", "15"});
    auto consumer = startConsumerInto(url, "killed", brokerUrl(), {"--batch", "8"});
    ASSERT_TRUE(service_->waitFor("acknowledged a-20"));
    consumer->signal(SIGKILL);
    EXPECT_EQ(consumer->wait(), 128 + SIGKILL);
    consumer = startConsumerInto(url, "c", brokerUrl(), {"--batch", "8"});
    ASSERT_TRUE(service_->waitFor("connected 2"));
    ASSERT_TRUE(service_->waitFor("acknowledged a-"));
    broker_->stop();
    // Acknowledgements the broker gave before it stopped may still be on their way to the service.
    service_->drain();
    const size_t before = service_->count("acknowledged a-");
    for (int i = 0; i < 6; ++i)
        service_->drain();
    EXPECT_EQ(service_->count("acknowledged a-"), before) << "acknowledged while the broker was down";
    ASSERT_TRUE(broker_->start()) << broker_->log();
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer, SIGINT), 0);
    expectAcknowledgedEventsReceived(subscriber, 150);
    const std::string err = contentsOf(errors("c"));
    EXPECT_GE(summaryCount(err, "  broker connection lost"), 1) << err;
}

// A broker the given authority does not vouch for gets no event, and the TLS failure is named.
TEST_F(MqttConsumer, MqttsTrustsOnlyTheAuthorityGiven)
{
    const std::string certificate = directory() + "/broker.pem";
    const std::string stranger = directory() + "/stranger.pem";
    ASSERT_TRUE(mqtt_testing::makeCertificate(certificate, directory() + "/broker.key"));
    ASSERT_TRUE(mqtt_testing::makeCertificate(stranger, directory() + "/stranger.key"));
    startBroker({"", "", 0, false, "", certificate, directory() + "/broker.key"});
    Subscriber subscriber(broker_->port());
    const std::string url = startService(alarmFrames(20, 2));
    const std::string tlsUrl = "mqtts://127.0.0.1:" + std::to_string(broker_->tlsPort()) + "/acc";
    const std::vector<std::string> refused[] = {{"--mqtt-ca-file", stranger}, {}};
    for (const std::vector<std::string>& options : refused) {
        const std::string name = "refused" + std::to_string(&options - refused);
        const uint16_t metricsPort = consume_testing::unusedPort();
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {"--metrics", "127.0.0.1:" + std::to_string(metricsPort)});
        auto consumer = startConsumerInto(url, name, tlsUrl, arguments);
        EXPECT_TRUE(waitForText(errors(name), "broker TLS failed")) << contentsOf(errors(name));
        const std::string failed = "tessaro_consume_broker_reconnects_total{cause=\"broker TLS failed\"}";
        EXPECT_TRUE(mentions(answerMentioning(metricsPort, "/metrics", failed), failed));
        // The first stop waits for the broker to take the group in hand; the second gives it up.
        const std::string written = "tessaro_consume_events_written_total{";
        EXPECT_TRUE(mentions(answerMentioning(metricsPort, "/metrics", written), written));
        consumer->signal(SIGTERM);
        EXPECT_TRUE(waitForText(errors(name), "draining: writing"));
        consumer->signal(SIGTERM);
        EXPECT_EQ(consumer->wait(std::chrono::seconds(5)), 0) << "not within the drain grace";
    }
    EXPECT_EQ(service_->count("acknowledged a-"), 0u);
    auto consumer = startConsumerInto(url, "trusted", tlsUrl, {"--mqtt-ca-file", certificate});
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    expectAcknowledgedEventsReceived(subscriber, 20);
}

// A broker output that cannot work ends the tool, nothing acknowledged, with a status and reason saying why.
TEST_F(MqttConsumer, ABrokerOutputThatCannotWorkEndsTheToolNamingWhy)
{
    startBroker({"consumer", "right", 0, false, "", "", ""});
    const std::string url = startService(alarmFrames(5, 1));
    const std::string password = writeInput("password", "wrong\n");
    const std::string login = brokerUrl("consumer@");
    const std::string absent = directory() + "/absent";
    struct Case {
        std::string output;
        std::vector<std::string> options;
        int status;
        const char* reason;
    };
    const Case cases[] = {
        {login, {"--mqtt-password-file", password}, consume::exitLoginRefused, "the login of consumer"},
        {directory() + "/events.jsonl", {"--mqtt-qos", "0"}, 2, "--mqtt-qos need --output mqtt://"},
        {"mqtt://127.0.0.1:" + std::to_string(broker_->port()), {}, 2, "no topic prefix"},
        {brokerUrl(), {"--mqtt-qos", "3"}, 2, "--mqtt-qos wants 0, 1 or 2, not 3"},
        {brokerUrl(), {"--mqtt-password-file", password}, 2, "--mqtt-password-file needs a user in the URL"},
        {login, {"--mqtt-password-file", absent}, 2, "cannot read the MQTT password from "},
        {"mqtts" + brokerUrl().substr(4),
         {"--mqtt-ca-file", absent},
         2,
         "cannot use the broker's certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string name = "c" + std::to_string(&c - cases);
        std::vector<std::string> options = c.options;
        options.push_back("--quiet");
        auto consumer = startConsumerInto(url, name, c.output, options);
        EXPECT_EQ(consumer->wait(20s), c.status);
        // The true reason, and no other.
        const std::string err = contentsOf(errors(name));
        const size_t said = err.find("tessaro-consume: ");
        EXPECT_EQ(said, err.rfind("tessaro-consume: ")) << err;
        EXPECT_TRUE(mentions(err.substr(std::min(said, err.size())), c.reason)) << err;
    }
    service_->drain();
    EXPECT_EQ(service_->count("acknowledged a-"), 0u);
}

} // namespace
