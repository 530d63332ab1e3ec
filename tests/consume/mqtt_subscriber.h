// A test subscriber of the MQTT output's suites, on a broker started by the test.
#pragma once

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace mqtt_testing {

using Message = std::pair<std::string, std::string>; // topic, payload

// A subscriber with a persistent session at QoS 1, subscribed before anything is published.
// It reconnects by itself when the broker comes back.
class Subscriber {
public:
    // Each with a session of its own: one an earlier subscriber left would deliver that one's
    // messages here.
    explicit Subscriber(int port)
    {
        static std::atomic<int> made{0};
        const std::string clientId = "test-subscriber-" + std::to_string(++made);
        mosquitto_lib_init();
        client_ = mosquitto_new(clientId.c_str(), false, this);
        mosquitto_connect_callback_set(client_, [](mosquitto* client, void*, int code) {
            if (code == 0)
                mosquitto_subscribe(client, nullptr, "acc/#", 1);
        });
        mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
            auto& subscriber = *static_cast<Subscriber*>(self);
            std::lock_guard<std::mutex> lock(subscriber.mutex_);
            subscriber.subscribed_ = true;
            subscriber.changed_.notify_all();
        });
        mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto& subscriber = *static_cast<Subscriber*>(self);
            std::lock_guard<std::mutex> lock(subscriber.mutex_);
            subscriber.messages_.emplace_back(message->topic,
                                              std::string(static_cast<const char*>(message->payload),
                                                          static_cast<size_t>(message->payloadlen)));
            subscriber.changed_.notify_all();
        });
        mosquitto_reconnect_delay_set(client_, 1, 1, false);
        mosquitto_connect(client_, "127.0.0.1", port, 30);
        mosquitto_loop_start(client_);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5), [this] { return subscribed_; });
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;
    ~Subscriber()
    {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }

    bool subscribed()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return subscribed_;
    }
    // What arrived once enough(messages) holds, or after a few seconds.
    std::vector<Message> messagesOnce(const std::function<bool(const std::vector<Message>&)>& enough)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return enough(messages_); });
        return messages_;
    }
    std::vector<Message> messages(size_t count)
    {
        return messagesOnce(
            [count](const std::vector<Message>& messages) { return messages.size() >= count; });
    }

private:
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool subscribed_ = false;
    std::vector<Message> messages_;
};

} // namespace mqtt_testing
