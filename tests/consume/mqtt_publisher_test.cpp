// The MQTT publisher against a real mosquitto on 127.0.0.1: what a subscriber
// receives, what "durable" promises across a broker restart, refused logins,
// TLS verification, and events that make no topic.
#include <mosquitto.h>
#include <sys/mman.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/consume/mosquitto_broker.h"
#include "tests/consume/mqtt_subscriber.h"
#include "tests/support/host_test.h"
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

class MqttPublisherTest : public testing_support::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        std::string pattern = (std::filesystem::temp_directory_path() / "mqtt-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(directory_);
        HostTest::TearDown();
    }

    MosquittoBroker& startBroker(const BrokerSetup& setup = {})
    {
        broker_ = std::make_unique<MosquittoBroker>(directory_, setup);
        EXPECT_TRUE(broker_->start()) << broker_->log();
        return *broker_;
    }

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

    std::string writeFile(const std::string& name, const std::string& content) const
    {
        const std::string path = directory_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::string directory_;
    std::unique_ptr<MosquittoBroker> broker_;
};

TEST_F(MqttPublisherTest, SubscriberReceivesEveryEventOnItsChannelByteForByteAtEachQos)
{
    MosquittoBroker& broker = startBroker();
    const std::vector<std::pair<std::string, std::string>> events = {
        {"site-a.tessaro.devices", eventLine(1, "site-a.tessaro.devices")},
        {"tessaro.measurements", eventLine(2, "tessaro.measurements")},
        {"", R"({"metadata":{"pulsarPath":"t12345/sub/alarms/17"},"payload":{"raw":true}})"},
        {"tessaro.measurements", std::string(100000, 'x')},
        {"site-a.tessaro.devices", ""},
    };
    for (const int qos : {0, 1, 2}) {
        SCOPED_TRACE("QoS " + std::to_string(qos));
        Subscriber subscriber(broker.port());
        {
            MqttPublisher publisher(settings(broker.port(), qos));
            std::string error;
            for (const auto& event : events)
                ASSERT_NE(publisher.publish(event.first, event.second, error), 0u) << error;
            EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable);
            const consume::MqttCounts counts = publisher.counts();
            EXPECT_EQ(counts.publishes, events.size());
            EXPECT_EQ(counts.acknowledgements, events.size());
            EXPECT_EQ(counts.inFlight, 0u);
        }
        std::vector<Message> expected;
        for (const auto& event : events)
            expected.emplace_back(consume::topicOf("acc", event.first), event.second);
        EXPECT_EQ(subscriber.messages(expected.size()), expected);
    }
    // The broker keeps the session (clean session off) under the client id given.
    EXPECT_NE(broker.log().find("publisher-under-test (p5, c0"), std::string::npos) << broker.log();
}

// More events in flight than the broker takes at once (mosquitto: 20 by default) must
// wait their turn: a broker past its quota acknowledges a message it then drops.
TEST_F(MqttPublisherTest, MoreEventsThanTheBrokerTakesAtOnceAllArrive)
{
    MosquittoBroker& broker = startBroker();
    constexpr size_t count = 1000;
    Subscriber subscriber(broker.port());
    size_t expected = 0;
    for (const int qos : {1, 2}) {
        SCOPED_TRACE("QoS " + std::to_string(qos));
        MqttPublisher publisher(settings(broker.port(), qos));
        std::string error;
        for (size_t i = 0; i < count; ++i)
            publisher.publish("tessaro.measurements", std::to_string(qos) + "-" + std::to_string(i), error);
        EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable) << publisher.failure();
        EXPECT_EQ(publisher.counts().reconnectsByCause, (std::map<std::string, uint64_t>{}));
        expected += count;
        EXPECT_EQ(subscriber.distinctPayloads(expected, 10s).size(), expected);
    }
}

TEST_F(MqttPublisherTest, AWriteIsNotDurableUntilTheBrokerAnswers)
{
    MosquittoBroker& broker = startBroker();
    for (const int qos : {1, 2}) {
        SCOPED_TRACE("QoS " + std::to_string(qos));
        MqttPublisher publisher(settings(broker.port(), qos));
        std::string error;
        publisher.publish("tessaro.measurements", "first", error);
        ASSERT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable);
        broker.freeze();
        const uint64_t ticket = publisher.publish("tessaro.measurements", "second", error);
        auto status = std::async(std::launch::async, [&] { return publisher.waitDurable(ticket); });
        EXPECT_EQ(status.wait_for(1s), std::future_status::timeout);
        EXPECT_EQ(publisher.counts().inFlight, 1u);
        broker.thaw();
        if (status.wait_for(10s) == std::future_status::timeout)
            publisher.requestStop();
        EXPECT_EQ(status.get(), MqttStatus::Durable);
    }
}

TEST_F(MqttPublisherTest, BrokerRestartLosesNothingDurableAndNothingIsDurableWhileItIsDown)
{
    MosquittoBroker& broker = startBroker();
    Subscriber subscriber(broker.port());
    std::vector<std::string> logged;
    std::mutex logMutex;
    MqttSettings publisherSettings = settings(broker.port());
    publisherSettings.log = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(logMutex);
        logged.push_back(line);
    };
    MqttPublisher publisher(publisherSettings);

    // Batches of 100 events, each waited for, as the acknowledgement path does, paced so
    // that the stream lasts past the broker's stop however fast the machine.
    constexpr int batches = 40;
    constexpr int batchSize = 100;
    std::mutex progressMutex;
    std::vector<int> durableIds;
    std::vector<MqttStatus> statuses;
    auto feeder = std::async(std::launch::async, [&] {
        for (int batch = 0; batch < batches; ++batch) {
            std::this_thread::sleep_for(25ms);
            std::string error;
            for (int i = 0; i < batchSize; ++i)
                publisher.publish("tessaro.measurements", std::to_string(batch * batchSize + i), error);
            const MqttStatus status = publisher.waitDurable();
            std::lock_guard<std::mutex> lock(progressMutex);
            statuses.push_back(status);
            if (status != MqttStatus::Durable)
                return;
            for (int i = 0; i < batchSize; ++i)
                durableIds.push_back(batch * batchSize + i);
        }
    });
    const auto durableCount = [&] {
        std::lock_guard<std::mutex> lock(progressMutex);
        return durableIds.size();
    };
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (durableCount() < 3 * batchSize && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    broker.stop();
    const size_t durableWhenStopped = durableCount();
    std::this_thread::sleep_for(2s);
    // One batch may have been acknowledged just before the broker went; none after.
    EXPECT_LE(durableCount(), durableWhenStopped + batchSize);
    EXPECT_LT(durableCount(), static_cast<size_t>(batches * batchSize));
    EXPECT_GT(publisher.counts().inFlight, 0u);
    ASSERT_TRUE(broker.start()) << broker.log();

    if (feeder.wait_for(20s) == std::future_status::timeout)
        publisher.requestStop();
    feeder.get();
    EXPECT_EQ(durableCount(), static_cast<size_t>(batches * batchSize));
    EXPECT_EQ(statuses.back(), MqttStatus::Durable);
    consume::MqttCounts counts = publisher.counts();
    EXPECT_GE(counts.reconnectsByCause[texts::causeLost], 1u);
    EXPECT_EQ(counts.inFlight, 0u);

    // Duplicates are allowed; every durable event must be there.
    const std::set<std::string> payloads = subscriber.distinctPayloads(durableIds.size(), 15s);
    for (const Message& message : subscriber.messages(0))
        ASSERT_EQ(message.first, "acc/tessaro.measurements");
    for (const int id : durableIds)
        ASSERT_EQ(payloads.count(std::to_string(id)), 1u) << "event " << id << " lost";
    std::lock_guard<std::mutex> lock(logMutex);
    EXPECT_GE(std::count_if(logged.begin(), logged.end(),
                            [](const std::string& line) { return line.rfind(texts::connectedTo, 0) == 0; }),
              2);
}

TEST_F(MqttPublisherTest, ABrokerNotYetUpIsWaitedFor)
{
    MosquittoBroker broker(directory_);
    MqttPublisher publisher(settings(broker.port()));
    std::string error;
    publisher.publish("tessaro.measurements", "early", error);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(broker.start());
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable);
    consume::MqttCounts counts = publisher.counts();
    EXPECT_GE(counts.reconnectsByCause[texts::causeConnectFailed], 1u);
    EXPECT_EQ(counts.acknowledgements, 1u);
}

TEST_F(MqttPublisherTest, LoginIsCheckedWithThePasswordFileReadBeforeEachConnection)
{
    BrokerSetup setup;
    setup.user = "consumer-1";
    setup.password = "right horse";
    MosquittoBroker& broker = startBroker(setup);
    struct Case {
        const char* user;
        const char* password;
        MqttStatus expected;
    };
    const Case cases[] = {
        {"consumer-1", "right horse\n", MqttStatus::Durable},
        {"consumer-1", "wrong horse\n", MqttStatus::LoginRefused},
        {"somebody-else", "right horse", MqttStatus::LoginRefused},
    };
    const auto withLogin = [&](const std::string& user, const std::string& password) {
        MqttSettings login = settings(broker.port());
        login.target.user = user;
        login.passwordFile = writeFile("password", password);
        return login;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user) + " / " + c.password);
        MqttPublisher publisher(withLogin(c.user, c.password));
        std::string error;
        publisher.publish("tessaro.measurements", "{}", error);
        EXPECT_EQ(waitAtMost(publisher, 10s), c.expected);
        if (c.expected == MqttStatus::LoginRefused)
            EXPECT_EQ(publisher.failure().rfind(texts::loginRefused + std::string(c.user), 0), 0u)
                << publisher.failure();
        else
            EXPECT_EQ(publisher.failure(), "");
    }

    // A password changed while connected is what the next connection uses.
    MqttPublisher publisher(withLogin(setup.user, setup.password));
    std::string error;
    publisher.publish("tessaro.measurements", "{}", error);
    ASSERT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable);
    writeFile("password", "changed");
    broker.stop();
    ASSERT_TRUE(broker.start());
    publisher.publish("tessaro.measurements", "{}", error);
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::LoginRefused);
}

TEST_F(MqttPublisherTest, SettingsThatCannotWorkAreRefusedAtOnce)
{
    const std::string absent = directory_ + "/absent";
    std::vector<std::pair<MqttSettings, std::string>> cases(4, {settings(1883), ""});
    cases[0].first.passwordFile = writeFile("password", "secret");
    cases[0].second = texts::passwordWithoutUser;
    cases[1].first.target.user = "u";
    cases[1].first.passwordFile = absent;
    cases[1].second = std::string(texts::cannotReadPassword) + absent + ": No such file or directory";
    cases[2].first.qos = 3;
    cases[2].second = std::string(texts::badQos) + "3";
    cases[3].first.target.tls = true;
    cases[3].first.caFile = absent;
    cases[3].second = std::string(texts::cannotUseCa) + absent; // then the library's own reason
    for (const auto& [refused, error] : cases) {
        const std::string given = testing_support::errorOf([&] { MqttPublisher publisher(refused); });
        EXPECT_EQ(&error == &cases[3].second ? given.substr(0, error.size()) : given, error);
    }
}

TEST_F(MqttPublisherTest, TlsTrustsOnlyTheGivenAuthority)
{
    const std::string certificate = directory_ + "/broker.pem";
    const std::string key = directory_ + "/broker.key";
    const std::string stranger = directory_ + "/stranger.pem";
    ASSERT_TRUE(mqtt_testing::makeCertificate(certificate, key));
    ASSERT_TRUE(mqtt_testing::makeCertificate(stranger, directory_ + "/stranger.key"));
    BrokerSetup setup;
    setup.certificate = certificate;
    setup.key = key;
    MosquittoBroker& broker = startBroker(setup);
    Subscriber subscriber(broker.port());

    MqttSettings wrongCa = settings(broker.tlsPort());
    wrongCa.target.tls = true;
    wrongCa.caFile = stranger;
    MqttSettings systemCa = wrongCa;
    systemCa.caFile = "";
    for (const MqttSettings& refused : {wrongCa, systemCa}) {
        SCOPED_TRACE("CA file '" + refused.caFile + "'");
        MqttPublisher publisher(refused);
        std::string error;
        publisher.publish("tessaro.measurements", "refused", error);
        const auto tlsFailures = [&publisher] {
            return publisher.counts().reconnectsByCause[texts::causeTls];
        };
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (tlsFailures() < 2 && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(10ms);
        EXPECT_GE(tlsFailures(), 2u);
        EXPECT_EQ(publisher.counts().inFlight, 1u);
        EXPECT_EQ(waitAtMost(publisher, 0s), MqttStatus::Stopped) << publisher.failure();
    }
    MqttSettings rightCa = wrongCa;
    rightCa.caFile = certificate;
    MqttPublisher publisher(rightCa);
    std::string error;
    publisher.publish("tessaro.measurements", "accepted", error);
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable);
    EXPECT_EQ(subscriber.messages(1), (std::vector<Message>{{"acc/tessaro.measurements", "accepted"}}));
}

TEST_F(MqttPublisherTest, AnEventTheBrokerRefusesIsNeverDurable)
{
    BrokerSetup setup;
    setup.acl = "topic write acc/tessaro.measurements\ntopic read acc/#\n";
    MosquittoBroker& broker = startBroker(setup);
    MqttPublisher publisher(settings(broker.port()));
    std::string error;
    const uint64_t allowed = publisher.publish("tessaro.measurements", "{}", error);
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable);
    publisher.publish("tessaro.forbidden", "{}", error);
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Failed);
    EXPECT_EQ(publisher.failure(), std::string(texts::brokerRefusedEvent) + "Not authorized");
    EXPECT_EQ(publisher.waitDurable(allowed), MqttStatus::Durable);
    EXPECT_EQ(publisher.counts().inFlight, 1u);
}

TEST_F(MqttPublisherTest, EventsThatMakeNoMessageAreRefusedAndNothingIsHeld)
{
    MosquittoBroker& broker = startBroker();
    MqttPublisher publisher(settings(broker.port()));
    const std::string channels[] = {"site/+/devices", "tessaro.#",
                                    "bad\xff"
                                    "utf8",
                                    std::string("nul\0x", 5)};
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
    EXPECT_EQ(publisher.counts().publishes, 0u);
    EXPECT_EQ(publisher.publish("tessaro.measurements", "{}", error), 1u);
    EXPECT_EQ(waitAtMost(publisher, 10s), MqttStatus::Durable);
}

} // namespace
