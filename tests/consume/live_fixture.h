// The live consumer's suites: the service stand-in on 127.0.0.1, the consumer run
// against it, and what the stand-in logged as acknowledged.
#pragma once

#include <signal.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/replay/replay_fixture.h"

namespace live_testing {

using replay_testing::ToolProcess;

// Alarms "a-N" with payload id N, spread over `sources` devices.
std::string alarmFrames(int count, int sources);
// The payload ids of the events in an output file, or in event lines.
std::set<std::string> eventIds(const std::string& output);
std::set<std::string> eventIds(const std::vector<std::string>& lines);
// Acknowledged frames whose ids the service logged.
std::set<std::string> acknowledgedIds(const std::vector<std::string>& serviceLines);

class LiveConsumerTest : public replay_testing::ReplayTest {
protected:
    // Starts the service stand-in on the frames with extra arguments, token file "t1"; returns its URL.
    std::string startService(const std::string& frames, std::vector<std::string> arguments = {},
                             const char* scheme = "ws://127.0.0.1:")
    {
        writeInput("token", "t1\n");
        arguments.insert(arguments.begin(), {SERVICE_STANDIN, "--frames", writeInput("served.frames", frames),
                                             "--log-acks", "--token", "t1"});
        service_ = std::make_unique<ToolProcess>(arguments, directory() + "/service.err");
        EXPECT_TRUE(service_->waitFor("listening "));
        return scheme + service_->seen().back().substr(10) + "/notification2/consumer/";
    }

    std::unique_ptr<ToolProcess> startConsumer(const std::string& url, const std::string& name,
                                               std::vector<std::string> arguments = {})
    {
        return startConsumerInto(url, name, output(name), std::move(arguments));
    }

    // The same, writing to destination: a file or an MQTT broker's URL.
    std::unique_ptr<ToolProcess> startConsumerInto(const std::string& url, const std::string& name,
                                                   const std::string& destination,
                                                   std::vector<std::string> arguments = {})
    {
        arguments.insert(arguments.begin(), {TESSARO_CONSUME_TOOL, "--url", url, "--token-file",
                                             directory() + "/token", "--output", destination, "--batch-wait",
                                             "10", "--ping-interval", "0.5", "--reconnect-max", "0.2"});
        return std::make_unique<ToolProcess>(arguments, errors(name));
    }

    // Once the service has every frame acknowledged, stops the consumer; its exit status.
    // The line may have gone by already while the test waited for a later one.
    int stopOnceAllAcknowledged(ToolProcess& consumer, int signal = SIGTERM)
    {
        if (service_->count("all acknowledged") == 0) {
            EXPECT_TRUE(service_->waitFor("all acknowledged"));
        }
        consumer.signal(signal);
        return consumer.wait();
    }

    std::string output(const std::string& name) const { return directory() + "/" + name + ".jsonl"; }
    std::string errors(const std::string& name) const { return directory() + "/" + name + ".err"; }

    std::unique_ptr<ToolProcess> service_;
};

} // namespace live_testing
