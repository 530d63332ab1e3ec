// A subscriber of the MQTT output's suites: Debian's mosquitto_sub on acc/# at QoS 1, with a session the
// broker keeps; it reconnects by itself when the broker comes back.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/replay/replay_fixture.h"

namespace mqtt_testing {

using Message = std::pair<std::string, std::string>; // topic, payload

class Subscriber {
public:
    // Each with a session of its own: one an earlier subscriber left would deliver that one's messages here.
    explicit Subscriber(int port)
    {
        static int made = 0;
        // Line by line, as they come: -d logs when the subscription holds; messages are lines naming a topic.
        process_ = std::make_unique<replay_testing::ToolProcess>(
            std::vector<std::string>{"/usr/bin/stdbuf", "-oL", "/usr/bin/mosquitto_sub", "-d", "-h",
                                     "127.0.0.1", "-p", std::to_string(port), "-c", "-q", "1", "-t", "acc/#",
                                     "-i", "test-subscriber-" + std::to_string(++made), "-F", "%t %p"},
            "/dev/null");
        EXPECT_TRUE(process_->waitFor("Subscribed", std::chrono::seconds(5)));
    }

    // What arrived once enough(messages) holds, or once nothing more arrives for a few seconds.
    std::vector<Message> messagesOnce(const std::function<bool(const std::vector<Message>&)>& enough)
    {
        do {
            for (const auto& lines = process_->seen(); read_ < lines.size(); ++read_) {
                const size_t space = lines[read_].find(' ');
                if (lines[read_].rfind("acc/", 0) == 0)
                    messages_.emplace_back(lines[read_].substr(0, space), lines[read_].substr(space + 1));
            }
        } while (!enough(messages_) && process_->waitFor("", std::chrono::seconds(10)));
        return messages_;
    }
    std::vector<Message> messages(size_t count)
    {
        return messagesOnce(
            [count](const std::vector<Message>& messages) { return messages.size() >= count; });
    }

private:
    std::unique_ptr<replay_testing::ToolProcess> process_;
    size_t read_ = 0;
    std::vector<Message> messages_;
};

} // namespace mqtt_testing
