// The live consumer against the service's stand-in on 127.0.0.1: what it writes,
// what it acknowledges, and how it survives cuts, refusals, dead peers, a full
// disk, a kill -9 and a shared subscription that loses a member.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/consume/live_consumer_fixture.h"

namespace {

using namespace consume_testing;

TEST_F(LiveConsumer, ConvertsEveryKindAcknowledgesSkippedActionsAndCapturesForReplay)
{
    const std::string url = startService(contentsOf(EXAMPLES_DIR "/notifications.frames"));
    const std::string capture = directory() + "/session.frames";
    auto consumer = startConsumer(url, "c", {"--config", EXAMPLES_DIR "/config.yaml", "--capture", capture});
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    const std::string err = contentsOf(errors("c"));
    EXPECT_EQ(summaryCount(err, "frames acknowledged"), 6) << err;
    EXPECT_EQ(summaryCount(err, "  DELETE"), 1) << err;
    for (const char* type : {"Alarm", "Event", "Measurement", "ManagedObject", "Operation"})
        EXPECT_EQ(summaryCount(err, std::string("  com.orbel.tessaro.") + type), 1) << type << "\n" << err;
    // The capture replays to the same events, the DELETE frame's string body included.
    const replay_testing::ToolRun replayed =
        runTool({"--quiet", "--config", EXAMPLES_DIR "/config.yaml", "--format", "frames", capture});
    EXPECT_EQ(replayed.out, contentsOf(output("c")));
}

// Whatever stops it, nothing the consumer acknowledged is missing from its output.
TEST_F(LiveConsumer, AcknowledgedFramesAreWrittenThroughKillsCutsAndDeadPeers)
{
    struct Case {
        const char* name;
        std::vector<std::string> service;
        bool kill;
        const char* cause; // the reconnect cause in the summary
    };
    const Case cases[] = {
        {"kill -9 mid-stream", {"--pace-ms", "2"}, true, nullptr},
        {"connection cut", {"--cut-after", "7"}, false, "connection failed"},
        {"peer stops answering pings", {"--deaf-after", "7"}, false, "no answer to pings"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "c" + std::to_string(&c - cases);
        const std::string url = startService(alarmFrames(120, 5), c.service);
        auto consumer = startConsumer(url, name, {"--batch", "8"});
        ASSERT_TRUE(service_->waitFor("connected 1"));
        const Clock::time_point connected = Clock::now();
        if (c.kill) {
            ASSERT_TRUE(service_->waitFor("acknowledged a-20"));
            consumer->signal(SIGKILL);
            EXPECT_EQ(consumer->wait(), 128 + SIGKILL);
            // Restarted on the same output, it appends: what the killed run acknowledged stays.
            consumer = startConsumer(url, name, {"--batch", "8"});
            // Connected, it handles the signal that stops it; on a busy machine the killed run may have
            // had every frame acknowledged already, so that line alone would not wait for this one.
            ASSERT_TRUE(service_->waitFor("connected 2"));
        } else {
            ASSERT_TRUE(service_->waitFor("connected 2"));
            // Dead after two ping intervals without traffic, then at most one backoff: 1 s and 0.2 s.
            EXPECT_LT(Clock::now() - connected, std::chrono::milliseconds(2500));
        }
        EXPECT_EQ(stopOnceAllAcknowledged(*consumer, SIGINT), 0);
        if (c.cause != nullptr) {
            EXPECT_EQ(summaryCount(contentsOf(errors(name)), "  " + std::string(c.cause)), 1);
        }
        const std::set<std::string> written = eventIds(output(name));
        std::set<std::string> acknowledged;
        for (const std::string& line : service_->seen())
            if (line.rfind("acknowledged a-", 0) == 0)
                acknowledged.insert(line.substr(15));
        EXPECT_EQ(acknowledged.size(), 120u);
        for (const std::string& id : acknowledged)
            EXPECT_EQ(written.count(id), 1u) << "acknowledged, not written: " << id;
        EXPECT_EQ(service_->count("unexpected"), 0u);
    }
}

TEST_F(LiveConsumer, RefusedTokensAndBusySubscriptions)
{
    struct Case {
        const char* name;
        std::vector<std::string> service;
        int status;            // after SIGTERM once connected, or the tool's own exit
        const char* cause;     // the reconnect cause counted
        const char* errorText; // on stderr
    };
    const std::string tokenFile = directory() + "/token";
    const Case cases[] = {
        {"rotated token", {"--token", "t2", "--rotate-token", tokenFile}, 0, "token refused (401/403)", ""},
        {"same token again", {"--token", "t2"}, 4, "token refused (401/403)", "still gives it"},
        {"subscription held elsewhere", {"--busy", "2"}, 0, "subscription busy (409)", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string url = startService(alarmFrames(3, 1), c.service);
        auto consumer = startConsumer(url, "c");
        EXPECT_EQ(c.status == 0 ? stopOnceAllAcknowledged(*consumer) : consumer->wait(), c.status);
        const std::string err = contentsOf(errors("c"));
        EXPECT_TRUE(mentions(err, c.errorText)) << err;
        EXPECT_GE(summaryCount(err, std::string("  ") + c.cause), 1) << err;
        // Acknowledgements are all it ever sends: never an unsubscribe that would delete the backlog.
        EXPECT_EQ(service_->count("unexpected"), 0u);
    }
}

TEST_F(LiveConsumer, AnOutputThatCannotBeWrittenStopsWithNothingAcknowledged)
{
    const std::string url = startService(alarmFrames(10, 2));
    auto consumer = startConsumer(url, "c", {"--output", "/dev/full"});
    EXPECT_EQ(consumer->wait(), 5);
    service_->drain();
    EXPECT_EQ(service_->count("connected"), 1u);
    EXPECT_EQ(service_->count("acknowledged"), 0u);
    EXPECT_TRUE(mentions(contentsOf(errors("c")), "cannot write the output: No space left on device"));
}

TEST_F(LiveConsumer, SharedConsumersSplitBySourceAndTheSurvivorTakesOverTheUnacknowledged)
{
    const std::string url =
        startService(alarmFrames(300, 16), {"--shared", "--wait-for-consumers", "2", "--pace-ms", "3"});
    auto a = startConsumer(url, "a", {"--consumer", "a", "--batch", "4"});
    auto b = startConsumer(url, "b", {"--consumer", "b", "--batch", "4"});
    ASSERT_TRUE(service_->waitFor("acknowledged a-60"));
    a->signal(SIGKILL);
    a->wait();
    EXPECT_EQ(stopOnceAllAcknowledged(*b), 0);
    const std::set<std::string> fromA = eventIds(output("a"));
    const std::set<std::string> fromB = eventIds(output("b"));
    EXPECT_FALSE(fromA.empty());
    std::set<std::string> all(fromA);
    all.insert(fromB.begin(), fromB.end());
    EXPECT_EQ(all.size(), 300u);
    // Frames A held unacknowledged when it died, and later ones from its sources, went to B.
    EXPECT_GT(fromB.size(), 300 - fromA.size() - 1);
}

TEST_F(LiveConsumer, SecureConnectionVerifiesTheServiceCertificate)
{
    const std::string certificate = directory() + "/service.pem";
    const std::string key = directory() + "/service.key";
    const std::string make =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1"
        " -subj /CN=localhost -addext subjectAltName=DNS:localhost -keyout " +
        key + " -out " + certificate + " 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const std::string url = startService(alarmFrames(5, 1), {"--tls", certificate, key}, "wss://localhost:");
    auto consumer = startConsumer(url, "c", {"--ca-file", certificate});
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    EXPECT_EQ(eventIds(output("c")).size(), 5u);
}

} // namespace
