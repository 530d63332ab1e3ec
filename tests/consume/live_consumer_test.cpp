// The live consumer against the service's stand-in on 127.0.0.1, normal or hostile: what it writes,
// what it acknowledges, and how it names each failure.
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/consume/live_consumer_fixture.h"

namespace {

using namespace consume_testing;
using namespace std::chrono_literals;
using replay_testing::linesOf;

// What happens to the running consumer before it is stopped.
enum class Midway { Nothing, KillAndRestart, RotateAndReopen };

struct Scenario {
    const char* name;
    std::string frames;
    std::vector<std::string> service;      // stand-in options
    std::vector<std::string> consumer;     // consumer options
    int status = 0;                        // its exit status; 0: stopped by SIGTERM
    int connections = 0;                   // upgrades the service accepted; -1: any number
    size_t events = 0;                     // distinct payload ids written
    std::vector<std::string> logged = {};  // pieces of its standard error, each once unless stopAt
    std::vector<std::string> counted = {}; // summary lines that must count at least one
    const char* stopAt = nullptr; // logged text that stops it; else it stops once all is acknowledged
    Midway midway = Midway::Nothing;
    std::chrono::milliseconds reconnectWithin{}; // if set, the first connection is replaced within this
};

class LiveScenario : public LiveConsumer {
protected:
    std::string capture() const { return directory() + "/capture.frames"; }

    // A self-signed certificate for subject, valid for days (negative: expired); the path without .pem/.key.
    std::string certificate(const std::string& subject, int days)
    {
        const std::string base = directory() + "/" + subject + std::to_string(days);
        const std::string make =
            "openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=" + subject +
            " -addext subjectAltName=DNS:" + subject + " -keyout " + base + ".key -out " + base +
            ".csr 2>/dev/null && openssl x509 -req -copy_extensions copy -in " + base + ".csr -signkey " +
            base + ".key -days " + std::to_string(days) + " -out " + base + ".pem 2>/dev/null";
        EXPECT_EQ(std::system(make.c_str()), 0);
        return base;
    }

    void run(const Scenario& s)
    {
        SCOPED_TRACE(s.name);
        const std::string name = "c" + std::to_string(++runs_);
        std::vector<std::string> arguments{"--consumer", name};
        arguments.insert(arguments.end(), s.consumer.begin(), s.consumer.end());
        const std::string url = startService(s.frames, s.service);
        auto consumer = startConsumer(url, name, arguments);
        if (s.reconnectWithin.count() > 0) {
            ASSERT_TRUE(service_->waitFor("connected 1"));
            const auto connected = std::chrono::steady_clock::now();
            ASSERT_TRUE(service_->waitFor("connected 2"));
            EXPECT_LT(std::chrono::steady_clock::now() - connected, s.reconnectWithin) << "dead peer";
        }
        if (s.midway == Midway::KillAndRestart) {
            ASSERT_TRUE(service_->waitFor("acknowledged a-20"));
            consumer->signal(SIGKILL);
            EXPECT_EQ(consumer->wait(), 128 + SIGKILL);
            // As a kill can leave it: a last line cut short, to be cut off rather than appended to.
            std::ofstream(output(name), std::ios::app) << R"({"metadata":{},"payl)";
            consumer = startConsumer(url, name, arguments);
            // The killed run may have had all acknowledged; only once connected does this one handle a stop.
            ASSERT_TRUE(service_->waitFor("connected 2"));
        } else if (s.midway == Midway::RotateAndReopen) {
            ASSERT_TRUE(service_->waitFor("acknowledged a-20"));
            consumer->signal(SIGSTOP); // so that what the renamed files hold is what they held
            ASSERT_EQ(::rename(output(name).c_str(), (output(name) + ".1").c_str()), 0);
            ASSERT_EQ(::rename(capture().c_str(), (capture() + ".1").c_str()), 0);
            consumer->signal(SIGHUP);
            consumer->signal(SIGCONT);
        }
        if (s.stopAt != nullptr) {
            EXPECT_TRUE(waitForText(errors(name), s.stopAt));
            consumer->signal(SIGTERM);
        }
        EXPECT_EQ(s.status != 0 || s.stopAt != nullptr ? consumer->wait(20s)
                                                       : stopOnceAllAcknowledged(*consumer),
                  s.status);
        service_->drain();
        const std::string err = contentsOf(errors(name));
        for (const std::string& piece : s.logged) {
            const size_t first = err.find(piece);
            EXPECT_NE(first, std::string::npos) << piece << "\n" << err;
            EXPECT_TRUE(s.stopAt != nullptr || err.find(piece, first + 1) == std::string::npos) << piece;
        }
        for (const std::string& label : s.counted)
            EXPECT_GE(summaryCount(err, label), 1) << label << "\n" << err;
        EXPECT_EQ(err.find('\x1b'), std::string::npos) << "a raw escape reached the log";
        int connections = 0; // each named as the consumer
        for (const std::string& line : service_->seen())
            connections += line.rfind("connected ", 0) == 0 && line.substr(line.rfind(' ') + 1) == name;
        EXPECT_TRUE(s.connections < 0 || connections == s.connections) << connections << " named " << name;
        // Acknowledgements are all it ever sends: never an unsubscribe, which would delete the backlog.
        EXPECT_EQ(service_->count("unexpected") + service_->count("unsubscribe requested"), 0u);
        EXPECT_TRUE(s.midway != Midway::RotateAndReopen || mentions(contentsOf(capture()), "---"))
            << "the capture was not reopened";
        // Every line whole, and every frame acknowledged has its event written, before or after a rotation.
        const std::vector<std::string> lines =
            linesOf(contentsOf(output(name) + ".1") + contentsOf(output(name)));
        for (const std::string& line : lines)
            EXPECT_TRUE(line.rfind(R"({"metadata":{)", 0) == 0 && line.back() == '}') << line;
        const std::set<std::string> written = eventIds(lines);
        EXPECT_EQ(written.size(), s.events);
        for (const std::string& id : acknowledgedIds(service_->seen()))
            EXPECT_EQ(written.count(id), 1u) << "acknowledged, not written: " << id;
    }

    int runs_ = 0;
};

// Every acknowledged event is written, whatever stops, cuts or moves it; no unreadable frame stalls the rest.
TEST_F(LiveScenario, AcknowledgedEventsSurviveKillsCutsDeadPeersRotationsFullDevicesAndUnreadableFrames)
{
    const std::string frames = alarmFrames(120, 5);
    const std::string before = frameOf("a-1", alarmBody("1"));
    const std::string after = frameOf("a-2", alarmBody("2"));
    const std::string replayable = directory() + "/replayable.frames";
    // clang-format off
    const Scenario scenarios[] = {
        {"kill -9 mid-stream", frames, {"--pace-ms", "2"}, {"--batch", "8"}, 0, 2, 120,
         {"cut an unfinished last line"}, {}, nullptr, Midway::KillAndRestart},
        {"connection cut", frames, {"--cut-after", "7"}, {"--batch", "8"}, 0, 2, 120,
         {}, {"  connection failed"}},
        // Found dead within two ping intervals of 0.5 s, then at most one backoff of 0.2 s.
        {"peer stops answering pings", frames, {"--deaf-after", "7"}, {}, 0, 2, 120,
         {}, {"  no answer to pings"}, nullptr, Midway::Nothing, 2500ms},
        // Pings far apart: held still for a moment, it must not take the connection for dead.
        {"output and capture rotated, then SIGHUP", frames, {"--pace-ms", "2"},
         {"--batch", "8", "--capture", capture(), "--ping-interval", "5"}, 0, 1, 120,
         {"SIGHUP: reopening"}, {"output reopened"}, nullptr, Midway::RotateAndReopen},
        {"output on a full device", frames, {}, {"--output", "/dev/full"}, 5, 1, 0,
         {"cannot write the output: No space left on device"}},
        {"capture on a full device", frames, {}, {"--capture", "/dev/full"}, 0, 1, 120,
         {"cannot write the capture"}, {"capture write errors"}},
        {"text that is not UTF-8", before + frameOf("bad-1", alarmBody("9", "caf\xe9 \xff\xfe")) + after,
         {}, {}, 0, 1, 2, {"frame bad-1: "}},
        {"larger than the websocket library's own limit",
         before + frameOf("big-1", alarmBody("3", std::string(17 << 20, 'y'))) + after, {}, {}, 0, 1, 3},
        {"larger than --max-record-bytes",
         before + frameOf("big-2", alarmBody("3", std::string(10000, 'y'))) + after,
         {}, {"--max-record-bytes", "4096"}, 0, 1, 2,
         {"frame big-2: 10", "more than --max-record-bytes; dropped unread and acknowledged"}},
        {"control characters in the id", before + frameOf("esc\x1b[2J\rforged", "{not json") + after,
         {}, {}, 0, 1, 2, {"frame esc\\x1b[2J\\rforged: "}},
        {"an id that would unsubscribe", before + frameOf("unsubscribe", alarmBody("5")) + after,
         {}, {}, 0, 1, 3, {}, {}, "frame unsubscribe: not acknowledged"},
        // Every kind, and a DELETE frame acknowledged though its action is skipped.
        {"every kind, captured", contentsOf(EXAMPLES_DIR "/notifications.frames"), {},
         {"--config", EXAMPLES_DIR "/config.yaml", "--capture", replayable}, 0, 1, 5, {}, {"  DELETE"}},
    };
    // clang-format on
    for (const Scenario& s : scenarios)
        run(s);
    // The capture replays to the same events, the DELETE frame's string body included.
    const replay_testing::ToolRun replayed =
        runTool({"--quiet", "--config", EXAMPLES_DIR "/config.yaml", "--format", "frames", replayable});
    EXPECT_EQ(replayed.out, contentsOf(output("c" + std::to_string(runs_))));
}

// Each failed start (2, nothing touched) or connection is named for what it was, retried or ends the run;
// no certificate that does not vouch for the service gets the token.
TEST_F(LiveScenario, StartsAndConnectionsAreRefusedRetriedOrGivenUpForTheReasonNamed)
{
    const std::string frames = alarmFrames(3, 1);
    const std::string good = certificate("localhost", 1);
    const std::string otherHost = certificate("elsewhere.example", 1);
    const std::string expired = certificate("localhost", -1);
    const std::vector<std::string> tls = {"--tls", good + ".pem", good + ".key"};
    const char* tlsFailure = "TLS failure: ";
    const std::string missing = directory() + "/missing";
    const std::string group = directory() + "/group";
    const std::string config = writeInput("config.yaml", "a: 1"); // would lose its unfinished line
    const std::string empty = writeInput("empty.frames", "");
    const std::string hardLink = directory() + "/hard", softLink = directory() + "/soft";
    ASSERT_EQ(::link(config.c_str(), hardLink.c_str()) + ::symlink("token", softLink.c_str()), 0);
    // clang-format off
    const Scenario scenarios[] = {
        {"token rotated", frames, {"--token", "t2", "--rotate-token", directory() + "/token"}, {}, 0, 1, 3,
         {}, {"  token refused (401/403)"}},
        {"same token again", frames, {"--token", "t2"}, {}, 4, 0, 0,
         {"still gives it"}, {"  token refused (401/403)"}},
        {"subscription held elsewhere", frames, {"--busy", "2"}, {}, 0, 1, 3,
         {}, {"  subscription busy (409)"}},
        {"certificate trusted", frames, tls, {"--ca-file", good + ".pem"}, 0, 1, 3},
        {"self-signed, not trusted", frames, tls, {}, 0, 0, 0, {}, {}, tlsFailure},
        {"certificate for another host", frames, {"--tls", otherHost + ".pem", otherHost + ".key"},
         {"--ca-file", otherHost + ".pem"}, 0, 0, 0, {}, {}, tlsFailure},
        {"certificate expired", frames, {"--tls", expired + ".pem", expired + ".key"},
         {"--ca-file", expired + ".pem"}, 0, 0, 0, {}, {}, tlsFailure},
        {"upgrade never answered", frames, {"--silent-upgrade"}, {}, 0, 0, 0,
         {}, {"  timed out connecting"}, "timed out connecting: "},
        {"answer that is not HTTP", frames, {"--garbage-upgrade"}, {}, 0, 0, 0,
         {}, {"  bad response to the upgrade"}, "bad response to the upgrade: "},
        {"closed right after the upgrade", frames, {"--close-at-once", "4001"}, {}, 0, -1, 0, {},
         {"  closed by the service"}, "closed by the service: code 4001 closing at once; reconnecting in"},
        {"token file missing", frames, {}, {"--token-file", missing}, 2, 0, 0,
         {"no token to start with: cannot read the token: " + missing + ": No such file or directory"}},
        {"--ca-file missing", frames, tls, {"--ca-file", missing}, 2, 0, 0,
         {"cannot use --ca-file " + missing + ": No such file or directory"}},
        // Past its time limit the command's whole group is killed (checked below).
        {"token command past its time limit", frames, {},
         {"--token-command", "echo $$ > " + group + "; sleep 30", "--token-timeout", "0.5"}, 2, 0, 0,
         {"did not finish within 0.5 s"}},
        // A stop while the command runs ends the tool without waiting for the command.
        {"stopped while the token command runs", frames, {}, {"--token-command", "echo asking >&2; sleep 30"},
         0, 0, 0, {}, {}, "asking"},
        // A child left holding the command's output does not hold the token.
        {"token command leaves a child behind", frames, {}, {"--token-command", "echo t1; sleep 30 &"},
         0, 1, 3},
    };
    // clang-format on
    // Names that reach a file the run reads or writes besides: links, and files not there yet.
    const std::vector<std::string> clashes[] = {{"--config", config, "--output", hardLink},
                                                {"--output", softLink},
                                                {"--capture", empty, "--output", empty},
                                                {"--capture", "new.frames", "--output", "./new.frames"},
                                                {"--config", config, "--capture", config}};
    for (const Scenario& s : scenarios)
        run(s);
    for (const std::vector<std::string>& clashing : clashes)
        run({"the same file twice", frames, {}, clashing, 2, 0, 0, {"is the same file as"}});
    EXPECT_EQ(contentsOf(config), "a: 1");
    const pid_t leader = std::atoi(contentsOf(group).c_str());
    ASSERT_GT(leader, 0);
    for (int tries = 0; tries < 100 && ::kill(-leader, 0) == 0; ++tries)
        std::this_thread::sleep_for(20ms);
    EXPECT_NE(::kill(-leader, 0), 0) << "the token command's sleep outlived it";
}

// SIGTERM as soon as the stop signals are blocked, before the loop runs: the tool stops, cleanly. Only
// those three (HUP, INT, TERM), told apart from moments a runtime library blocks every signal for itself.
TEST_F(LiveScenario, AStopThatComesWhileTheToolStartsEndsItCleanly)
{
    // Read while they are blocked, a large configuration makes that moment long enough to be seen.
    const std::string slow = writeInput("slow.yaml", "comment: \"" + std::string(1 << 20, 'x') + "\"\n");
    auto early = startConsumer(startService(alarmFrames(3, 1)), "early", {"--config", slow});
    const std::string status = "/proc/" + std::to_string(early->pid()) + "/status";
    int tries = 0;
    while (!mentions(contentsOf(status), "SigBlk:\t0000000000004003") && ++tries < 2000) // bits 0, 1, 14
        std::this_thread::sleep_for(1ms);
    ASSERT_LT(tries, 2000) << "SIGTERM never blocked while the tool started";
    early->signal(SIGTERM);
    EXPECT_EQ(early->wait(10s), 0);
}

// The bytes of a strace -xx line from `from` up to `to`: it shows every byte of a path or buffer as \xHH.
std::string tracedBytes(const std::string& line, size_t from, size_t to = std::string::npos)
{
    std::string bytes;
    for (size_t at = line.find("\\x", from); at < to; at = line.find("\\x", at + 4))
        bytes += static_cast<char>(std::stoi(line.substr(at + 2, 2), nullptr, 16));
    return bytes;
}

// Seen by strace: at no moment are more frames acknowledged than have their events synced to the disk.
TEST_F(LiveScenario, TheOutputIsSyncedBeforeFramesAreAcknowledged)
{
    if (std::system("strace -o /dev/null true 2>/dev/null") != 0)
        GTEST_SKIP() << "strace cannot trace here";
    const std::string trace = directory() + "/trace";
    // The leak checker of a sanitized build refuses to run under a tracer; leaks are checked elsewhere.
    // clang-format off
    wrapper_ = {"/usr/bin/strace", "-f", "-y", "-xx", "-s", "100000", "-o", trace,
                "-e", "trace=write,sendmsg,sendto,fdatasync", "-E", "ASAN_OPTIONS=detect_leaks=0"};
    // clang-format on
    auto tracer = startConsumer(startService(alarmFrames(40, 4)), "traced", {"--batch", "8"});
    ASSERT_TRUE(service_->waitFor("all acknowledged"));
    // The consumer itself is stopped: strace would only let go of it. Its lines start with its pid.
    ::kill(std::stoi(contentsOf(trace)), SIGTERM);
    EXPECT_EQ(tracer->wait(10s), 0);
    size_t written = 0; // events
    size_t durable = 0;
    size_t acknowledged = 0;
    for (const std::string& line : linesOf(contentsOf(trace))) {
        const size_t buffers = line.find('"');
        const std::string sent = tracedBytes(line, buffers);
        if (mentions(line, "write(") && tracedBytes(line, 0, buffers) == output("traced")) {
            written += std::count(sent.begin(), sent.end(), '\n');
        } else if (mentions(line, "fdatasync") && !mentions(line, "unfinished") && mentions(line, "= 0")) {
            durable = written; // one thread writes and syncs: a sync covers every event written before it
        } else if (mentions(line, "sendmsg(") || mentions(line, "sendto(")) {
            // Acknowledgements are the text messages among the frames of a send, not the upgrade request.
            for (size_t at = 0; at + 2 <= sent.size() && (sent[0] & 0x80) != 0;
                 at += 2 + 4 + (sent[at + 1] & 0x7f))
                acknowledged += (sent[at] & 0x0f) == 1;
            EXPECT_LE(acknowledged, durable) << line;
        }
    }
    EXPECT_EQ(written, 40u);
    EXPECT_EQ(acknowledged, 40u);
}

} // namespace
