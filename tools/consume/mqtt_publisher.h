// Publishes events to an MQTT broker and tells when the broker holds them: the
// output's "durable" for a consumer that acknowledges a frame only once its events
// are safe. One network thread owns the client; publish() and the waits only hand
// over and look at counts, so any thread may call them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "tools/consume/consume_metrics.h"
#include "tools/consume/mqtt_target.h"
#include "tools/consume/reconnect_backoff.h"

struct mosquitto;
struct mqtt5__property;

namespace consume {

struct MqttSettings {
    MqttTarget target;
    int qos = 1;
    std::string caFile;       // mqtts: empty trusts the system's authorities
    std::string passwordFile; // read again before each connection; empty: no password
    std::string clientId;
    std::chrono::milliseconds reconnectMax{60000};
    std::chrono::seconds keepAlive{30};
    // Connection news, one line each without the tool's name; may be empty.
    std::function<void(const std::string&)> log;
};

// The consumer's name when it has one, so that each consumer keeps its own broker
// session; else one per machine.
std::string mqttClientId(const std::string& consumer);

enum class MqttStatus {
    Durable,      // the broker holds every event asked about
    Stopped,      // requestStop() was called first
    LoginRefused, // bad user or password: trying again cannot help
    Failed,       // the client cannot publish at all; failure() says why
};

class MqttPublisher {
public:
    // Starts connecting at once and counts into metrics, which must outlive it. Throws
    // std::runtime_error, with the reason, for settings that cannot work.
    MqttPublisher(MqttSettings settings, BrokerMetrics& metrics);
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;
    // Disconnects; events not yet acknowledged are given up (their frames were not acknowledged either).
    ~MqttPublisher();

    // Copies one event, to go to PREFIX/channel, or PREFIX/passthrough when channel is empty. Returns
    // its ticket, counting from 1; 0 with the reason in error when channel makes no valid topic or the
    // event is too large for MQTT, and then nothing is held. The caller bounds the bytes it publishes
    // before waiting.
    uint64_t publish(std::string_view channel, std::string_view payload, std::string& error);

    // Blocks until the broker holds every event up to ticket (all published so far without one), the
    // publisher can no longer publish, or a stop is requested. With QoS 0 an event counts as held once
    // written to the socket, or once lost with its connection: nothing waits for the broker.
    MqttStatus waitDurable(uint64_t ticket);
    MqttStatus waitDurable();

    // Every wait, now and later, returns Stopped unless it is already durable.
    void requestStop();

    // Why the publisher gave up (LoginRefused or Failed); empty while it goes on.
    std::string failure() const;

private:
    struct Pending {
        std::string topic;
        std::string payload;
        uint64_t ticket = 0;
    };
    using Clock = std::chrono::steady_clock;

    void run();
    bool connect(bool first);
    void handOver();
    bool writeDue() const;
    int writeRound(int socket);
    void connectionEnded(int code);
    void wake();
    void giveUp(MqttStatus status, std::string reason);
    // Counts why the last attempt or connection ended, and sets when to try again.
    void retryLater(const std::string& cause, const std::string& detail);
    void markDone(uint64_t ticket);
    bool quitting() const;

    static void onConnect(mosquitto* client, void* self, int code, int flags, const mqtt5__property*);
    static void onPublish(mosquitto* client, void* self, int mid, int reason, const mqtt5__property*);

    const MqttSettings settings_;
    BrokerMetrics& metrics_;
    mosquitto* client_ = nullptr;
    int wakeFd_ = -1;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Pending> pending_; // not yet handed to the client
    std::deque<bool> done_;       // by ticket, from firstOpen_
    uint64_t firstOpen_ = 1;
    uint64_t nextTicket_ = 1;
    std::multiset<uint64_t> awaited_; // the tickets waited for now
    bool stopRequested_ = false;
    bool quit_ = false;
    MqttStatus end_ = MqttStatus::Durable; // Durable: not ended
    std::string failure_;

    // The network thread's own.
    std::unordered_map<int, uint64_t> handed_; // message id -> ticket
    ReconnectBackoff backoff_;
    Clock::time_point nextAttempt_ = Clock::now();
    bool sessionUp_ = false;
    size_t receiveMaximum_ = 0;         // the broker's, within our window
    size_t onWire_ = 0;                 // events unacknowledged when the last round was written
    size_t acknowledgedSinceWrite_ = 0; // since then
    int refusal_ = 0;                   // the broker's CONNACK reason code
    std::thread network_;
};

} // namespace consume
