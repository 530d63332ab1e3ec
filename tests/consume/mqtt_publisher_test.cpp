// The MQTT publisher against a real mosquitto on 127.0.0.1: what a subscriber receives at each QoS,
// what "durable" waits for, the password read at each connection, and events refused.
#include <sys/mman.h>

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/consume/mosquitto_broker.h"
#include "tests/consume/mqtt_subscriber.h"
#include "tests/replay/replay_fixture.h"
#include "tools/consume/mqtt_publisher.h"
#include "tools/consume/mqtt_texts.h"

namespace {

using consume::MqttPublisher;
using consume::MqttSettings;
using consume::MqttStatus;
using mqtt_testing::BrokerSetup;
using mqtt_testing::Message;
using mqtt_testing::MosquittoBroker;
using mqtt_testing::Subscriber;
using namespace std::chrono_literals;
namespace texts = consume::mqtt_texts;

// A wait that gives up after limit: then it asks the publisher to stop and reports Stopped.
MqttStatus waitAtMost(MqttPublisher& publisher, std::chrono::seconds limit)
{
    auto status = std::async(std::launch::async, [&publisher] { return publisher.waitDurable(); });
    if (status.wait_for(limit) == std::future_status::timeout)
        publisher.requestStop();
    return status.get();
}

std::string eventLine(int id, const std::string& channel)
{
    return R"({"metadata":{"vlm.channel":")" + channel + R"("},"payload":{"id":")" + std::to_string(id) +
           R"(","text":"Zürich \"north\" \\ gate"}})";
}

class MqttPublisherTest : public replay_testing::ReplayTest {
protected:
    MqttSettings settings(int port, int qos = 1) const
    {
        MqttSettings settings;
        settings.target.host = "127.0.0.1";
        settings.target.port = port;
        settings.target.prefix = "acc";
        settings.qos = qos;
        settings.clientId = "publisher-under-test";
        settings.reconnectMax = 200ms;
        return settings;
    }

    consume::BrokerMetrics metrics_;
};

// Many more events than the broker takes in flight at once (mosquitto: 20) must wait their turn: a
// broker past its quota acknowledges a message it then drops.
TEST_F(MqttPublisherTest, SubscriberReceivesEveryEventOnItsChannelByteForByteAtEachQos)
{
    MosquittoBroker broker(directory());
    ASSERT_TRUE(broker.start()) << broker.log();
    std::vector<std::pair<std::string, std::string>> events = {
        {"site-a.tessaro.devices", eventLine(1, "site-a.tessaro.devices")},
        {"tessaro.measurements", eventLine(2, "tessaro.measurements")},
        {"", R"({"metadata":{"pulsarPath":"t12345/sub/alarms/17"},"payload":{"raw":true}})"},
        {"tessaro.measurements", std::string(100000, 'x')},
        {"site-a.tessaro.devices", ""},
    };
    for (int i = 0; i < 1000; ++i)
        events.emplace_back("tessaro.measurements", std::to_string(i));
    for (const int qos : {0, 1, 2}) {
        SCOPED_TRACE("QoS " + std::to_string(qos));
        Subscriber subscriber(broker.port());
        {
            consume::BrokerMetrics metrics;
            MqttPublisher publisher(settings(broker.port(), qos), metrics);
            std::string error;
            for (const auto& event : events)
                ASSERT_NE(publisher.publish(event.first, event.second, error), 0u) << error;
            EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable) << publisher.failure();
            EXPECT_EQ(metrics.acknowledgements.value(), events.size());
            // A frozen broker answers nothing: only at QoS 0 is an event durable without its answer.
            broker.signal(SIGSTOP);
            const uint64_t late = publisher.publish("tessaro.measurements", "late", error);
            auto status = std::async(std::launch::async, [&] { return publisher.waitDurable(late); });
            EXPECT_EQ(status.wait_for(1s),
                      qos == 0 ? std::future_status::ready : std::future_status::timeout);
            EXPECT_EQ(metrics.inFlight.value(), qos == 0 ? 0 : 1);
            broker.signal(SIGCONT);
            if (status.wait_for(10s) == std::future_status::timeout)
                publisher.requestStop();
            EXPECT_EQ(status.get(), MqttStatus::Durable);
            EXPECT_EQ(metrics.publishes.value(), events.size() + 1);
            EXPECT_EQ(metrics.acknowledgements.value(), events.size() + 1);
            EXPECT_EQ(metrics.inFlight.value(), 0);
            EXPECT_EQ(metrics.reconnects.total(), 0u);
        }
        std::vector<Message> expected;
        for (const auto& event : events)
            expected.emplace_back(consume::topicOf("acc", event.first), event.second);
        expected.emplace_back("acc/tessaro.measurements", "late");
        const std::vector<Message> received = subscriber.messages(expected.size());
        EXPECT_TRUE(received == expected) << received.size() << " of " << expected.size() << " received";
    }
    // The broker keeps the session (clean session off) under the client id given.
    EXPECT_NE(broker.log().find("publisher-under-test (p5, c0"), std::string::npos) << broker.log();
}

// The password file is read again before each connection: the broker refuses a changed one.
TEST_F(MqttPublisherTest, ABrokerNotYetUpIsWaitedForAndRefusesAChangedPassword)
{
    BrokerSetup setup;
    setup.user = "consumer-1";
    setup.password = "right horse";
    MosquittoBroker broker(directory(), setup);
    MqttSettings login = settings(broker.port());
    login.target.user = setup.user;
    login.passwordFile = writeInput("password", setup.password + "\n");
    MqttPublisher publisher(login, metrics_);
    std::string error;
    publisher.publish("tessaro.measurements", "early", error);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(broker.start()) << broker.log();
    ASSERT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable) << publisher.failure();
    EXPECT_EQ(metrics_.reconnects.values().at(0).first, texts::causeConnectFailed);
    EXPECT_EQ(metrics_.acknowledgements.value(), 1u);
    writeInput("password", "changed");
    broker.stop();
    ASSERT_TRUE(broker.start());
    publisher.publish("tessaro.measurements", "{}", error);
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::LoginRefused);
    EXPECT_EQ(publisher.failure().rfind(texts::loginRefused + setup.user, 0), 0u) << publisher.failure();
}

// An event that makes no message is refused at once; one the broker refuses is never durable.
TEST_F(MqttPublisherTest, EventsThatMakeNoMessageOrThatTheBrokerRefusesAreNeverDurable)
{
    BrokerSetup setup;
    setup.acl = "topic write acc/tessaro.measurements\ntopic read acc/#\n";
    MosquittoBroker broker(directory(), setup);
    ASSERT_TRUE(broker.start()) << broker.log();
    MqttPublisher publisher(settings(broker.port()), metrics_);
    const std::string channels[] = {"site/+/devices", "tessaro.#", "bad\xffutf8", std::string("nul\0x", 5)};
    for (const std::string& channel : channels) {
        std::string error;
        EXPECT_EQ(publisher.publish(channel, "{}", error), 0u);
        EXPECT_EQ(error, texts::badTopic + channel);
    }
    // Reserved, never touched: the publisher must refuse it before reading a byte.
    constexpr size_t tooLarge = 300u << 20;
    void* const reserved =
        ::mmap(nullptr, tooLarge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(reserved, MAP_FAILED);
    std::string error;
    EXPECT_EQ(
        publisher.publish("tessaro.measurements", {static_cast<const char*>(reserved), tooLarge}, error), 0u);
    EXPECT_EQ(error, texts::eventTooLarge + std::to_string(tooLarge) + texts::bytesOnTopic +
                         "acc/tessaro.measurements");
    ::munmap(reserved, tooLarge);
    EXPECT_EQ(metrics_.publishes.value(), 0u);
    const uint64_t allowed = publisher.publish("tessaro.measurements", "{}", error);
    EXPECT_EQ(allowed, 1u);
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable);
    publisher.publish("tessaro.forbidden", "{}", error);
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Failed);
    EXPECT_EQ(publisher.failure(), std::string(texts::brokerRefusedEvent) + "Not authorized");
    EXPECT_EQ(publisher.waitDurable(allowed), MqttStatus::Durable);
    EXPECT_EQ(metrics_.inFlight.value(), 1);
}

} // namespace
