// The service stand-in and the consumer as processes on 127.0.0.1, the frames served, and what was written.
#pragma once

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/replay/replay_fixture.h"

namespace consume_testing {

using replay_testing::contentsOf;
using replay_testing::mentions;
using replay_testing::summaryCount;
using replay_testing::ToolProcess;

inline std::string frameOf(const std::string& identifier, const std::string& body,
                           const std::string& source = "4700")
{
    return identifier + "\n/t12345/alarms/" + source + "\nCREATE\n\n" + body + "\n---\n";
}

inline std::string alarmBody(const std::string& id, const std::string& text = "x",
                             const std::string& source = "4700")
{
    return R"({"id":")" + id + R"(","source":{"id":")" + source +
           R"("},"type":"t5o_Alarm","time":"2024-02-01T11:00:00.000Z","text":")" + text +
           R"(","status":"ACTIVE","count":1,"severity":"MAJOR"})";
}

// Alarms "a-N" with payload id N, spread over `sources` devices.
inline std::string alarmFrames(int count, int sources)
{
    std::string frames;
    for (int i = 1; i <= count; ++i) {
        const std::string source = std::to_string(4700 + i % sources);
        frames += frameOf("a-" + std::to_string(i), alarmBody(std::to_string(i), "x", source), source);
    }
    return frames;
}

// The payload ids of event lines.
inline std::set<std::string> eventIds(const std::vector<std::string>& lines)
{
    std::set<std::string> ids;
    const std::regex id(R"re("payload":\{.*?"id":"([0-9]+)")re");
    for (const std::string& line : lines) {
        std::smatch match;
        if (std::regex_search(line, match, id))
            ids.insert(match[1]);
    }
    return ids;
}

// The frames "a-N" whose acknowledgement the service logged, as N.
inline std::set<std::string> acknowledgedIds(const std::vector<std::string>& serviceLines)
{
    std::set<std::string> acknowledged;
    for (const std::string& line : serviceLines)
        if (line.rfind("acknowledged a-", 0) == 0)
            acknowledged.insert(line.substr(15));
    return acknowledged;
}

class LiveConsumer : public replay_testing::ReplayTest {
protected:
    // The stand-in's URL, wss:// when asked for TLS; its token is "t1", also in the file "token".
    std::string startService(const std::string& frames, std::vector<std::string> arguments = {})
    {
        const bool tls = std::find(arguments.begin(), arguments.end(), "--tls") != arguments.end();
        writeInput("token", "t1\n");
        arguments.insert(arguments.begin(), {SERVICE_STANDIN, "--frames", writeInput("served.frames", frames),
                                             "--log-acks", "--token", "t1"});
        service_ = std::make_unique<ToolProcess>(arguments, directory() + "/service.err");
        EXPECT_TRUE(service_->waitFor("listening "));
        return (tls ? "wss://localhost:" : "ws://127.0.0.1:") + service_->seen().back().substr(10) +
               "/notification2/consumer/";
    }

    // Writing to a file or broker URL; the token from file "token" unless a command is given.
    std::unique_ptr<ToolProcess> startConsumerInto(const std::string& url, const std::string& name,
                                                   const std::string& destination,
                                                   std::vector<std::string> arguments = {})
    {
        if (std::find(arguments.begin(), arguments.end(), "--token-command") == arguments.end())
            arguments.insert(arguments.begin(), {"--token-file", directory() + "/token"});
        arguments.insert(arguments.begin(),
                         {TESSARO_CONSUME_TOOL, "--url", url, "--output", destination, "--batch-wait", "10",
                          "--ping-interval", "0.5", "--reconnect-max", "0.2"});
        arguments.insert(arguments.begin(), wrapper_.begin(), wrapper_.end());
        return std::make_unique<ToolProcess>(arguments, errors(name));
    }

    std::unique_ptr<ToolProcess> startConsumer(const std::string& url, const std::string& name,
                                               std::vector<std::string> arguments = {})
    {
        return startConsumerInto(url, name, output(name), std::move(arguments));
    }

    // Stops the consumer once the service has all acknowledged; its exit status, -1 if still running at 20 s.
    int stopOnceAllAcknowledged(ToolProcess& consumer, int signal = SIGTERM)
    {
        EXPECT_TRUE(service_->count("all acknowledged") > 0 || service_->waitFor("all acknowledged"));
        consumer.signal(signal);
        return consumer.wait(std::chrono::seconds(20));
    }

    std::string output(const std::string& name) const { return directory() + "/" + name + ".jsonl"; }
    std::string errors(const std::string& name) const { return directory() + "/" + name + ".err"; }

    // Waits until the file holds piece (a line the consumer logs); false on timeout.
    static bool waitForText(const std::string& file, const std::string& piece)
    {
        for (int tries = 0; tries < 500 && !mentions(contentsOf(file), piece); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return mentions(contentsOf(file), piece);
    }

    std::unique_ptr<ToolProcess> service_;
    std::vector<std::string> wrapper_; // a command the consumer runs under, such as a tracer
};

} // namespace consume_testing
