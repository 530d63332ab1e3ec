// tessaro-consume publishing to a real mosquitto on 127.0.0.1: what a persistent
// subscriber receives and the metrics page counts, that every acknowledged frame's
// event reaches it through a broker restart and a kill -9 of the consumer, that
// mqtts trusts only the authority given, and that a refused login ends the tool.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
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

// The status the tool documents for a refused broker login.
constexpr int loginRefusedStatus = 6;

class MqttConsumer : public consume_testing::LiveConsumer {
protected:
    MosquittoBroker& startBroker(const BrokerSetup& setup = {})
    {
        std::filesystem::create_directory(directory() + "/broker");
        broker_ = std::make_unique<MosquittoBroker>(directory() + "/broker", setup);
        EXPECT_TRUE(broker_->start()) << broker_->log();
        return *broker_;
    }

    std::string brokerUrl(const std::string& user = "") const
    {
        return "mqtt://" + user + "127.0.0.1:" + std::to_string(broker_->port()) + "/acc";
    }

    // The metrics page once it mentions piece, or the last one read after a few seconds.
    static std::string pageMentioning(uint16_t port, const std::string& piece)
    {
        std::string page;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!mentions(page = consume_testing::httpGet(port, "/metrics").body, piece) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
        return page;
    }

    // Every frame acknowledged and every event's id with the subscriber, or the test fails.
    void expectAcknowledgedEventsReceived(Subscriber& subscriber, size_t frames)
    {
        const std::set<std::string> acknowledged = acknowledgedIds(service_->seen());
        EXPECT_EQ(acknowledged.size(), frames);
        const auto idsOf = [](const std::vector<Message>& messages) {
            std::vector<std::string> payloads;
            for (const Message& message : messages)
                payloads.push_back(message.second);
            return eventIds(payloads);
        };
        const std::set<std::string> received = idsOf(subscriber.messagesOnce([&](const auto& messages) {
            const std::set<std::string> ids = idsOf(messages);
            return std::includes(ids.begin(), ids.end(), acknowledged.begin(), acknowledged.end());
        }));
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

TEST_F(MqttConsumer, EachTopicCarriesTheFileOutputsLinesByteForByte)
{
    startBroker();
    Subscriber subscriber(broker_->port());
    ASSERT_TRUE(subscriber.subscribed());
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
    const std::string page =
        pageMentioning(metricsPort, "tessaro_consume_broker_acknowledgements_total " + std::to_string(lines));
    const auto [promtool, verdict] = consume_testing::promtoolVerdict(directory(), page);
    EXPECT_EQ(promtool, 0) << verdict << page;
    for (const std::string series :
         {"tessaro_consume_broker_publishes_total ", "tessaro_consume_broker_acknowledgements_total "})
        EXPECT_TRUE(mentions(page, series + std::to_string(lines) + "\n")) << series << page;
    EXPECT_TRUE(mentions(page, "tessaro_consume_broker_messages_in_flight 0\n")) << page;
    EXPECT_TRUE(mentions(page, "# TYPE tessaro_consume_broker_reconnects_total counter")) << page;
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

// The broker stopped mid-stream and started again on its persistence: nothing is acknowledged
// while it is down, and every acknowledged frame's event reaches the subscriber.
TEST_F(MqttConsumer, ABrokerRestartLosesNoAcknowledgedEvent)
{
    startBroker();
    Subscriber subscriber(broker_->port());
    ASSERT_TRUE(subscriber.subscribed());
    const std::string url = startService(alarmFrames(150, 5), {"--pace-ms", "15"});
    auto consumer = startConsumerInto(url, "c", brokerUrl(), {"--batch", "8"});
    ASSERT_TRUE(service_->waitFor("acknowledged a-20"));
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

TEST_F(MqttConsumer, AKilledConsumerLosesNoAcknowledgedEvent)
{
    startBroker();
    Subscriber subscriber(broker_->port());
    ASSERT_TRUE(subscriber.subscribed());
    const std::string url = startService(alarmFrames(120, 5), {"--pace-ms", "2"});
    auto consumer = startConsumerInto(url, "c", brokerUrl(), {"--batch", "8"});
    ASSERT_TRUE(service_->waitFor("acknowledged a-20"));
    consumer->signal(SIGKILL);
    EXPECT_EQ(consumer->wait(), 128 + SIGKILL);
    consumer = startConsumerInto(url, "c", brokerUrl(), {"--batch", "8"});
    ASSERT_TRUE(service_->waitFor("connected 2"));
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer, SIGINT), 0);
    expectAcknowledgedEventsReceived(subscriber, 120);
}

// A broker whose certificate is not from the authority given is never sent an event: nothing is
// acknowledged and the log and the metrics name the TLS failure. The right authority delivers.
TEST_F(MqttConsumer, MqttsTrustsOnlyTheAuthorityGiven)
{
    const std::string certificate = directory() + "/broker.pem";
    const std::string stranger = directory() + "/stranger.pem";
    ASSERT_TRUE(mqtt_testing::makeCertificate(certificate, directory() + "/broker.key"));
    ASSERT_TRUE(mqtt_testing::makeCertificate(stranger, directory() + "/stranger.key"));
    startBroker({"", "", 0, false, "", certificate, directory() + "/broker.key"});
    Subscriber subscriber(broker_->port());
    ASSERT_TRUE(subscriber.subscribed());
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
        EXPECT_TRUE(mentions(pageMentioning(metricsPort, failed), failed));
        // A stop waits for the broker to take the group in hand (written, so in hand); a second stop gives it
        // up.
        const std::string written = "tessaro_consume_events_written_total{";
        EXPECT_TRUE(mentions(pageMentioning(metricsPort, written), written));
        consumer->signal(SIGTERM);
        EXPECT_TRUE(waitForText(errors(name), "draining: writing"));
        consumer->signal(SIGTERM);
        EXPECT_EQ(consumer->wait(std::chrono::seconds(5)), 0) << "not within the drain grace";
        EXPECT_TRUE(mentions(contentsOf(errors(name)), "it is asked to give up the group in hand"));
    }
    EXPECT_EQ(service_->count("acknowledged a-"), 0u);
    auto consumer = startConsumerInto(url, "trusted", tlsUrl, {"--mqtt-ca-file", certificate});
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    expectAcknowledgedEventsReceived(subscriber, 20);
}

// A broker output that cannot work ends the tool with a status that says why, the reason named,
// nothing acknowledged: a wrong password with its own status, settings that cannot work at once.
TEST_F(MqttConsumer, ABrokerOutputThatCannotWorkEndsTheToolNamingWhy)
{
    startBroker({"consumer", "right", 0, false, "", "", ""});
    const std::string url = startService(alarmFrames(5, 1));
    const std::string password = writeInput("password", "wrong\n");
    struct Case {
        std::string output;
        std::vector<std::string> options;
        int status;
        const char* reason;
    };
    const Case cases[] = {
        {brokerUrl("consumer@"),
         {"--mqtt-password-file", password},
         loginRefusedStatus,
         "refused the login of consumer"},
        {directory() + "/events.jsonl", {"--mqtt-qos", "0"}, 2, "--mqtt-qos need --output mqtt://"},
        {"mqtt://127.0.0.1:" + std::to_string(broker_->port()), {}, 2, "no topic prefix"},
        {brokerUrl(), {"--mqtt-qos", "3"}, 2, "--mqtt-qos wants 0, 1 or 2, not 3"},
        {brokerUrl(), {"--mqtt-password-file", password}, 2, "--mqtt-password-file needs a user in the URL"},
        {brokerUrl("consumer@"),
         {"--mqtt-password-file", directory() + "/absent"},
         2,
         "cannot read the MQTT password from "},
        {"mqtts" + brokerUrl().substr(4),
         {"--mqtt-ca-file", directory() + "/absent"},
         2,
         "cannot use the broker's certificate authorities: "},
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
        std::vector<std::string> said;
        for (const std::string& line : replay_testing::linesOf(err))
            if (line.rfind("tessaro-consume: ", 0) == 0)
                said.push_back(line);
        ASSERT_EQ(said.size(), 1u) << err;
        EXPECT_TRUE(mentions(said[0], c.reason)) << err;
    }
    service_->drain();
    EXPECT_EQ(service_->count("acknowledged a-"), 0u);
}

} // namespace
