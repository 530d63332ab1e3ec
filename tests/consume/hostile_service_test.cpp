// The live consumer against a hostile or broken service stand-in on 127.0.0.1: frames
// it cannot read, frames too large, ids meant to mislead, upgrades that never come,
// token commands that hang, signals at awkward moments, certificates it must refuse.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "tests/consume/live_consumer_fixture.h"

namespace {

using namespace consume_testing;

std::string frameOf(const std::string& identifier, const std::string& body)
{
    return identifier + "\n/t12345/alarms/4700\nCREATE\n\n" + body + "\n---\n";
}

std::string alarmBody(const std::string& id, const std::string& text)
{
    return R"({"id":")" + id +
           R"(","source":{"id":"4700"},"type":"t5o_Alarm","time":"2024-02-01T11:00:00.000Z","text":")" +
           text + R"(","status":"ACTIVE","count":1,"severity":"MAJOR"})";
}

class HostileService : public LiveConsumer {};

// Every frame the service sends is consumed or reported, and none holds up the ones behind it.
TEST_F(HostileService, FramesThatCannotBeReadAreReportedAndDoNotStallTheStream)
{
    struct Case {
        const char* name;
        std::string frames;
        std::vector<std::string> consumer;
        const char* lastAcknowledged; // the service has seen this acknowledged once all is through
        std::vector<std::string> logged;
        size_t events;
    };
    const std::string before = frameOf("a-1", alarmBody("1", "x"));
    const std::string after = frameOf("a-2", alarmBody("2", "x"));
    const Case cases[] = {
        {"text that is not UTF-8",
         before + frameOf("bad-1", alarmBody("9", "caf\xe9 \xff\xfe")) + after,
         {},
         "a-2",
         {"frame bad-1: "},
         2},
        {"larger than the websocket library's own limit",
         before + frameOf("big-1", alarmBody("3", std::string(17 << 20, 'y'))) + after,
         {},
         "a-2",
         {},
         3},
        {"larger than --max-record-bytes",
         before + frameOf("big-2", alarmBody("3", std::string(10000, 'y'))) + after,
         {"--max-record-bytes", "4096"},
         "a-2",
         {"frame big-2: 10", "more than --max-record-bytes; dropped unread and acknowledged"},
         2},
        {"control characters in the id",
         before + frameOf("esc\x1b[2J\rforged", "{not json") + after,
         {},
         "a-2",
         {"frame esc\\x1b[2J\\rforged: "},
         2},
        {"an id that would unsubscribe",
         before + frameOf("unsubscribe", alarmBody("5", "x")) + after,
         {},
         "a-2",
         {"frame unsubscribe: not acknowledged"},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "c" + std::to_string(&c - cases);
        const std::string url = startService(c.frames);
        auto consumer = startConsumer(url, name, c.consumer);
        if (!service_->waitFor(std::string("acknowledged ") + c.lastAcknowledged)) {
            ADD_FAILURE() << "the stream stalled:\n" << contentsOf(errors(name));
            continue;
        }
        service_->drain();
        consumer->signal(SIGTERM);
        EXPECT_EQ(consumer->wait(), 0);
        const std::string err = contentsOf(errors(name));
        for (const std::string& piece : c.logged)
            EXPECT_TRUE(mentions(err, piece)) << piece << "\n" << err;
        EXPECT_EQ(err.find('\x1b'), std::string::npos) << "a raw escape reached the log";
        EXPECT_EQ(summaryCount(err, "reconnects"), 0) << err;
        EXPECT_EQ(service_->count("connected"), 1u);
        EXPECT_EQ(service_->count("unexpected"), 0u);
        EXPECT_EQ(service_->count("unsubscribe requested"), 0u);
        EXPECT_EQ(eventIds(output(name)).size(), c.events);
    }
}

// Each way an upgrade can fail is named for what it was, never as a refusal with a status that was not sent.
TEST_F(HostileService, ReconnectCausesAreNamedTruthfully)
{
    struct Case {
        const char* name;
        std::vector<std::string> service;
        const char* cause;
        const char* logged;
    };
    const Case cases[] = {
        {"upgrade never answered", {"--silent-upgrade"}, "timed out connecting", "timed out connecting: "},
        {"answer that is not HTTP",
         {"--garbage-upgrade"},
         "bad response to the upgrade",
         "bad response to the upgrade: "},
        {"closed right after the upgrade",
         {"--close-at-once", "4001"},
         "closed by the service",
         "closed by the service: code 4001 closing at once; reconnecting in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "c" + std::to_string(&c - cases);
        const std::string url = startService(alarmFrames(2, 1), c.service);
        auto consumer = startConsumer(url, name);
        if (!service_->waitFor("request 2", std::chrono::seconds(10))) {
            ADD_FAILURE() << "no second attempt";
            continue;
        }
        consumer->signal(SIGTERM);
        EXPECT_EQ(consumer->wait(), 0);
        const std::string err = contentsOf(errors(name));
        EXPECT_GE(summaryCount(err, std::string("  ") + c.cause), 1) << err;
        EXPECT_TRUE(mentions(err, c.logged)) << err;
        EXPECT_FALSE(mentions(err, "refused with HTTP")) << err;
    }
}

TEST_F(HostileService, TokenCommandsThatHangOrLeaveChildrenBehind)
{
    const std::string url = startService(alarmFrames(3, 1));
    const std::string started = directory() + "/started";
    const std::string group = directory() + "/group";

    // Past its time limit the command's whole group is killed, and with no token to start with the tool
    // stops as misconfigured.
    tokenSource_ = {"--token-command", "echo $$ > " + group + "; sleep 30", "--token-timeout", "0.5"};
    auto hanging = startConsumer(url, "timeout");
    EXPECT_EQ(hanging->wait(), 2);
    EXPECT_TRUE(mentions(contentsOf(errors("timeout")), "did not finish within 0.5 s"));
    const pid_t leader = std::atoi(contentsOf(group).c_str());
    ASSERT_GT(leader, 0);
    bool groupGone = false;
    for (int tries = 0; tries < 100 && !groupGone; ++tries) {
        groupGone = ::kill(-leader, 0) != 0 && errno == ESRCH;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(groupGone) << "the command's sleep outlived it";

    // A stop while the command runs ends the tool cleanly, without waiting for the command.
    tokenSource_ = {"--token-command", "touch " + started + "; sleep 30"};
    auto stopped = startConsumer(url, "stopped");
    for (int tries = 0; tries < 500 && !std::ifstream(started).good(); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::ifstream(started).good()) << "the token command never ran";
    stopped->signal(SIGTERM);
    EXPECT_EQ(stopped->wait(), 0);

    // A child left holding the command's output does not hold the token.
    tokenSource_ = {"--token-command", "echo t1; sleep 30 &"};
    auto background = startConsumer(url, "background");
    EXPECT_EQ(stopOnceAllAcknowledged(*background), 0);
}

TEST_F(HostileService, StartingWithoutATokenOrCertificatesIsAConfigurationError)
{
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* logged;
    };
    const std::string missing = directory() + "/missing";
    const Case cases[] = {
        {"token file missing",
         {"--url", "ws://127.0.0.1:9/consumer/", "--token-file", missing},
         "no token to start with: cannot read the token: "},
        {"--ca-file missing",
         {"--url", "wss://127.0.0.1:9/consumer/", "--token-file", missing, "--ca-file", missing},
         "cannot use --ca-file "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments{TESSARO_CONSUME_TOOL};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ToolProcess consumer(arguments, errors("c"));
        EXPECT_EQ(consumer.wait(), 2);
        const std::string err = contentsOf(errors("c"));
        EXPECT_TRUE(mentions(err, c.logged + missing + ": No such file or directory")) << err;
    }
}

TEST_F(HostileService, SignalsThatComeEarlyOrAskForAReopenDoNotKill)
{
    const std::string url = startService(alarmFrames(20, 2), {"--pace-ms", "5"});

    // SIGHUP: the run goes on, and ends as usual with its summary.
    auto reloaded = startConsumer(url, "hup");
    ASSERT_TRUE(service_->waitFor("acknowledged a-2"));
    reloaded->signal(SIGHUP);
    EXPECT_EQ(stopOnceAllAcknowledged(*reloaded), 0);
    const std::string err = contentsOf(errors("hup"));
    EXPECT_TRUE(mentions(err, "SIGHUP: reopening")) << err;
    EXPECT_EQ(summaryCount(err, "frames acknowledged"), 20) << err;

    // SIGTERM as soon as the tool has begun: once main has blocked the stop signals, it waits for the loop,
    // which stops. Exactly those three (HUP, INT, TERM: bits 0, 1 and 14), told apart from the moments a
    // runtime library blocks all signals for itself while the tool starts.
    auto early = startConsumer(url, "early");
    const std::string status = "/proc/" + std::to_string(early->pid()) + "/status";
    const unsigned long long stopSignals =
        (1ull << (SIGHUP - 1)) | (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
    bool blocked = false;
    for (int tries = 0; tries < 500 && !blocked; ++tries) {
        for (const std::string& line : replay_testing::linesOf(contentsOf(status))) {
            if (line.rfind("SigBlk:", 0) == 0)
                blocked = std::stoull(line.substr(7), nullptr, 16) == stopSignals;
        }
        if (!blocked)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(blocked) << "SIGTERM never blocked while the tool started";
    early->signal(SIGTERM);
    EXPECT_EQ(early->wait(), 0);
}

// A certificate that does not vouch for the service is refused before the token is sent.
TEST_F(HostileService, SecureConnectionsRefuseCertificatesThatDoNotVouchForTheService)
{
    struct Case {
        const char* name;
        const char* subject;
        const char* validity; // openssl x509 -days
        bool trusted;         // given as --ca-file
    };
    const Case cases[] = {
        {"self-signed, not trusted", "localhost", "1", false},
        {"for another host", "elsewhere.example", "1", true},
        {"expired", "localhost", "-1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = directory() + "/cert" + std::to_string(&c - cases);
        const std::string extensions =
            writeInput("ext", std::string("subjectAltName=DNS:") + c.subject + "\n");
        const std::string make =
            "openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=" +
            std::string(c.subject) + " -keyout " + base + ".key -out " + base +
            ".csr 2>/dev/null && openssl x509 -req -in " + base + ".csr -signkey " + base + ".key -days " +
            c.validity + " -extfile " + extensions + " -out " + base + ".pem 2>/dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
        const std::string url =
            startService(alarmFrames(2, 1), {"--tls", base + ".pem", base + ".key"}, "wss://localhost:");
        const std::string name = "c" + std::to_string(&c - cases);
        std::vector<std::string> arguments;
        if (c.trusted)
            arguments = {"--ca-file", base + ".pem"};
        auto consumer = startConsumer(url, name, arguments);
        EXPECT_TRUE(waitForText(errors(name), "TLS failure: "));
        consumer->signal(SIGTERM);
        EXPECT_EQ(consumer->wait(), 0);
        service_->drain();
        EXPECT_EQ(service_->count("request"), 0u) << "the token was sent";
        EXPECT_EQ(service_->count("connected"), 0u);
    }
}

} // namespace
