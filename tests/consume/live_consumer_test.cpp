// The live consumer against the service's stand-in on 127.0.0.1: what it writes,
// what it acknowledges, and how it survives cuts, refusals, dead peers, a full
// disk, a kill -9 and a shared subscription that loses a member.
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

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
        const std::set<std::string> acknowledged = acknowledgedIds(service_->seen());
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

// The output deleted under a running consumer, or rotated (renamed, then SIGHUP): every frame
// acknowledged has its event in a file that can still be read.
TEST_F(LiveConsumer, AnOutputDeletedOrRotatedWhileRunningLosesNoAcknowledgedEvent)
{
    for (const bool rotated : {false, true}) {
        SCOPED_TRACE(rotated ? "rotated" : "deleted");
        const std::string name = rotated ? "rotated" : "deleted";
        const std::string capture = directory() + "/" + name + ".frames";
        const std::string url = startService(alarmFrames(150, 5), {"--pace-ms", "2"});
        // Pings far apart: held still for a moment, it must not take the connection for dead.
        auto consumer =
            startConsumer(url, name, {"--batch", "8", "--capture", capture, "--ping-interval", "5"});
        ASSERT_TRUE(service_->waitFor("acknowledged a-20"));
        // Held still, so that what the file holds when it goes is known.
        consumer->signal(SIGSTOP);
        const std::set<std::string> before = eventIds(output(name));
        if (rotated) {
            ASSERT_EQ(::rename(output(name).c_str(), (output(name) + ".1").c_str()), 0);
            ASSERT_EQ(::rename(capture.c_str(), (capture + ".1").c_str()), 0);
            consumer->signal(SIGHUP);
        } else {
            ASSERT_EQ(::unlink(output(name).c_str()), 0);
        }
        consumer->signal(SIGCONT);
        EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
        const std::set<std::string> kept = rotated ? eventIds(output(name) + ".1") : before;
        const std::set<std::string> after = eventIds(output(name));
        EXPECT_FALSE(after.empty());
        const std::set<std::string> acknowledged = acknowledgedIds(service_->seen());
        EXPECT_EQ(acknowledged.size(), 150u);
        // At least once: a batch not yet acknowledged when the file was deleted is written again at the
        // path, and a frame whose acknowledgement was cut off is delivered and written again.
        std::string lost;
        for (const std::string& id : acknowledged)
            if (kept.count(id) + after.count(id) == 0)
                lost += " " + id;
        EXPECT_EQ(lost, "") << "acknowledged, but in neither file";
        EXPECT_GE(summaryCount(contentsOf(errors(name)), "output reopened"), 1) << contentsOf(errors(name));
        if (rotated) {
            EXPECT_TRUE(mentions(contentsOf(capture), "---")) << "the capture was not reopened";
        }
    }
}

// A run stopped mid-line (a full disk, a kill) left a partial line: the next run cuts it off instead
// of appending onto it, so that every line of the output reads.
TEST_F(LiveConsumer, AnOutputLeftMidLineIsCutBackToItsLastWholeLine)
{
    const std::string earlier = R"({"metadata":{},"payload":{"id":"earlier"}})"
                                "\n";
    std::ofstream(output("c"), std::ios::binary) << earlier << R"({"metadata":{},"payl)";
    const std::string url = startService(alarmFrames(10, 2));
    auto consumer = startConsumer(url, "c");
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    const std::string written = contentsOf(output("c"));
    EXPECT_EQ(written.rfind(earlier, 0), 0u) << written;
    const std::vector<std::string> lines = replay_testing::linesOf(written);
    EXPECT_EQ(lines.size(), 11u);
    for (const std::string& line : lines)
        EXPECT_TRUE(line.rfind(R"({"metadata":{)", 0) == 0 && line.back() == '}') << line;
    EXPECT_TRUE(mentions(contentsOf(errors("c")), "cut an unfinished last line")) << contentsOf(errors("c"));
}

TEST_F(LiveConsumer, AnOutputOrCaptureNamingAnotherFileOfTheRunIsRefused)
{
    const std::string config = writeInput("config.yaml", "a: 1\n");
    const std::string capture = writeInput("capture.frames", "");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string spared; // the file the run would have corrupted
    };
    const std::string token = directory() + "/token";
    const Case cases[] = {
        {"output is the configuration", {"--config", config, "--output", config}, config},
        {"output is the token file", {"--output", token}, token},
        {"output is the capture", {"--capture", capture, "--output", capture}, capture},
        {"output is the capture, neither there yet",
         {"--capture", "new.frames", "--output", "./new.frames"},
         ""},
        {"capture is the configuration", {"--config", config, "--capture", config}, config},
    };
    const std::string url = startService(alarmFrames(3, 1));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = c.spared.empty() ? "" : contentsOf(c.spared);
        auto consumer = startConsumer(url, "c", c.arguments);
        EXPECT_EQ(consumer->wait(std::chrono::seconds(5)), 2);
        EXPECT_TRUE(mentions(contentsOf(errors("c")), "is the same file as")) << contentsOf(errors("c"));
        if (!c.spared.empty()) {
            EXPECT_EQ(contentsOf(c.spared), before);
        }
    }
    service_->drain();
    EXPECT_EQ(service_->count("connected"), 0u);
}

TEST_F(LiveConsumer, ACaptureThatCannotBeWrittenIsReportedOnceAndTheStreamGoesOn)
{
    const std::string url = startService(alarmFrames(20, 2));
    auto consumer = startConsumer(url, "c", {"--capture", "/dev/full", "--batch", "4"});
    EXPECT_EQ(stopOnceAllAcknowledged(*consumer), 0);
    const std::string err = contentsOf(errors("c"));
    EXPECT_EQ(eventIds(output("c")).size(), 20u);
    EXPECT_GE(summaryCount(err, "capture write errors"), 1) << err;
    const size_t reported = err.find("cannot write the capture");
    ASSERT_NE(reported, std::string::npos) << err;
    EXPECT_EQ(err.find("cannot write the capture", reported + 1), std::string::npos) << err;
}

// The order of the consumer's system calls, seen by strace: no more frames are acknowledged at any
// moment than have their events written to the output and synced to the disk.
TEST_F(LiveConsumer, TheOutputIsSyncedBeforeFramesAreAcknowledgedUnlessTurnedOff)
{
    const std::string strace = "/usr/bin/strace";
    if (std::system((strace + " -o /dev/null true 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "strace cannot trace here";
    for (const bool synced : {true, false}) {
        SCOPED_TRACE(synced ? "synced" : "--no-sync");
        const std::string name = synced ? "synced" : "unsynced";
        const std::string trace = directory() + "/" + name + ".trace";
        const std::string url = startService(alarmFrames(40, 4));
        // The leak checker of a sanitized build refuses to run under a tracer; leaks are checked elsewhere.
        std::vector<std::string> arguments = {strace,
                                              "-f",
                                              "-y",
                                              "-s",
                                              "100000",
                                              "-o",
                                              trace,
                                              "-e",
                                              "trace=write,sendmsg,fdatasync",
                                              "-E",
                                              "ASAN_OPTIONS=detect_leaks=0",
                                              TESSARO_CONSUME_TOOL,
                                              "--url",
                                              url,
                                              "--token-file",
                                              directory() + "/token",
                                              "--output",
                                              output(name),
                                              "--batch",
                                              "8",
                                              "--batch-wait",
                                              "10"};
        if (!synced)
            arguments.push_back("--no-sync");
        ToolProcess tracer(arguments, errors(name));
        ASSERT_TRUE(service_->waitFor("all acknowledged"));
        // The consumer itself is stopped: strace would only let go of it. Its lines start with its pid.
        const pid_t consumer = std::stoi(contentsOf(trace));
        ::kill(consumer, SIGTERM);
        EXPECT_EQ(tracer.wait(std::chrono::seconds(10)), 0);
        const std::string outputFile = "<" + output(name) + ">";
        size_t written = 0; // events: strace shows each line end as \n
        size_t durable = 0;
        size_t acknowledged = 0;
        int syncs = 0;
        for (const std::string& line : replay_testing::linesOf(contentsOf(trace))) {
            if (mentions(line, "write(") && mentions(line, outputFile)) {
                for (size_t at = line.find("\\n"); at != std::string::npos; at = line.find("\\n", at + 2))
                    ++written;
            } else if (mentions(line, "fdatasync") && !mentions(line, "unfinished") &&
                       mentions(line, "= 0")) {
                // One thread writes and syncs: a sync covers every event written before it.
                ++syncs;
                durable = written;
            } else if (mentions(line, "sendmsg(")) {
                // Text messages, which only acknowledgements are, each its own piece of the write.
                for (size_t at = line.find(R"(iov_base="\201)"); at != std::string::npos;
                     at = line.find(R"(iov_base="\201)", at + 1)) {
                    ++acknowledged;
                    if (synced) {
                        EXPECT_LE(acknowledged, durable) << line;
                    }
                }
            }
        }
        EXPECT_EQ(written, 40u);
        EXPECT_EQ(acknowledged, 40u);
        EXPECT_EQ(syncs == 0, !synced) << syncs << " syncs";
    }
}

} // namespace
