// The consumer's connection logic against hand-driven fakes: reconnects and their
// backoff, refusals, the token, the stop while the worker is busy, and the bounds on
// what is held. No sockets, no threads: the clock moves when the test says. What the
// tool does end to end (refusals, output errors, hanging token commands) is in the
// live and hostile suites.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/consume/session_fakes.h"
#include "tests/support/host_test.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/service_session.h"

namespace {

using namespace session_testing;

class SessionTest : public testing_support::HostTest {
protected:
    SessionTest()
    {
        options_.batchSize = 4;
        options_.batchWait = Milliseconds(10);
        options_.reconnectMax = Milliseconds(60000);
        options_.quiet = false;
        url_.host = "127.0.0.1";
        url_.port = "1";
        url_.target = "/consumer/";
        url_.hostHeader = "127.0.0.1:1";
    }

    // Forgets the last session, for the next case.
    void restart()
    {
        session_.reset();
        worker_.jobs.clear();
        givenUp_ = 0;
        loop_ = std::make_unique<ManualLoop>();
        connections_.made.clear();
        log_.clear();
        tally_ = std::make_unique<ConsumeTally>();
    }

    ServiceSession& start()
    {
        session_ = std::make_unique<ServiceSession>(
            options_, url_,
            ServiceSession::Parts{*loop_, connections_.factory(*loop_), tokens_,
                                  [this](FrameBatch batch, ConversionWorker::Done done) {
                                      worker_.convert(std::move(batch), std::move(done));
                                  },
                                  [this](const std::string& line) { log_.push_back(line); }, nullptr,
                                  [this] { ++givenUp_; }},
            *tally_);
        session_->start();
        loop_->runPosted();
        return *session_;
    }

    // Connected and upgraded: the current connection.
    FakeConnection& open()
    {
        FakeConnection& connection = connections_.last();
        session_->opened(connection.id);
        return connection;
    }

    bool frame(const std::string& identifier, const std::string& body = "{}")
    {
        return session_->frameArrived(connections_.last().id,
                                      identifier + "\n/t1/alarms/1\nCREATE\n\n" + body);
    }

    void finishBatch()
    {
        worker_.finish();
        loop_->runPosted();
    }

    // The service takes every acknowledgement sent so far.
    void acknowledgeSent(FakeConnection& connection)
    {
        session_->acknowledgementsSent(connection.id, connection.sent.size());
        connection.sent.clear();
    }

    // Reads, finishing batches, until the session pauses the connection.
    void readUntilPaused(FakeConnection& connection, const std::string& prefix, size_t most)
    {
        for (size_t frames = 0; !connection.paused && frames < most;) {
            connection.paused = !frame(prefix + std::to_string(++frames));
            if (!worker_.jobs.empty())
                finishBatch();
        }
    }

    bool logged(const std::string& piece) const
    {
        for (const std::string& line : log_)
            if (line.find(piece) != std::string::npos)
                return true;
        return false;
    }

    uint64_t reconnects(const std::string& cause) const
    {
        for (const auto& [name, count] : tally_->metrics.reconnects.values())
            if (name == cause)
                return count;
        return 0;
    }

    Options options_;
    ServiceUrl url_;
    std::unique_ptr<ManualLoop> loop_ = std::make_unique<ManualLoop>();
    FakeConnections connections_;
    FakeTokens tokens_;
    FakeWorker worker_;
    int givenUp_ = 0;
    std::unique_ptr<ConsumeTally> tally_ = std::make_unique<ConsumeTally>();
    std::vector<std::string> log_;
    std::unique_ptr<ServiceSession> session_;
};

// A service that upgrades and closes at once must not be reconnected to ten times a second: the backoff
// grows until a connection proves healthy (a frame, or a while open), and only then starts again.
TEST_F(SessionTest, BackoffGrowsUntilAConnectionProvesHealthy)
{
    start();
    Milliseconds bound = firstBackoff;
    for (int attempt = 0; attempt < 12; ++attempt) {
        open();
        const TimePoint failedAt = loop_->now();
        session_->failed(connections_.last().id, {texts::causeClosed, "code 1000"});
        EXPECT_EQ(session_->phase(), Phase::Backoff);
        loop_->advance(bound);
        ASSERT_EQ(session_->phase(), Phase::Connecting) << "attempt " << attempt;
        const Milliseconds delay =
            std::chrono::duration_cast<Milliseconds>(connections_.last().createdAt - failedAt);
        EXPECT_GE(delay, bound / 2) << "attempt " << attempt;
        EXPECT_LE(delay, bound) << "attempt " << attempt;
        bound = std::min(2 * bound, options_.reconnectMax);
    }
    EXPECT_EQ(bound, options_.reconnectMax);
    EXPECT_EQ(reconnects(texts::causeClosed), 12u);

    struct Case {
        const char* name;
        bool delivers;
        Milliseconds openFor;
    };
    const Case healthy[] = {{"delivered a frame", true, Milliseconds(1)},
                            {"stayed open", false, provenHealthyAfter}};
    for (const Case& c : healthy) {
        SCOPED_TRACE(c.name);
        // Grown again first, by connections that prove nothing.
        for (int attempt = 0; attempt < 3; ++attempt) {
            open();
            session_->failed(connections_.last().id, {texts::causeFailed, ""});
            loop_->advance(options_.reconnectMax);
        }
        open();
        if (c.delivers)
            frame("a-1");
        loop_->advance(c.openFor);
        const TimePoint failedAt = loop_->now();
        session_->failed(connections_.last().id, {texts::causeFailed, ""});
        loop_->advance(firstBackoff);
        ASSERT_EQ(session_->phase(), Phase::Connecting);
        EXPECT_LE(connections_.last().createdAt - failedAt, firstBackoff);
        while (!worker_.jobs.empty())
            finishBatch();
    }
}

TEST_F(SessionTest, RefusalsRereadTheTokenOnceAndBusyOnesBackOff)
{
    struct Case {
        const char* name;
        std::vector<unsigned> statuses;    // the answers to the upgrades, in order
        std::deque<TokenReading> readings; // what the token source gives, in order
        int exitStatus;                    // -1: still running, connected
        const char* cause;
        const char* logText;
    };
    const TokenReading t1{true, "t1", ""};
    const TokenReading t2{true, "t2", ""};
    const TokenReading gone{false, "", "cannot read the token: gone"};
    const Case cases[] = {
        {"forbidden, rotated", {403}, {t1, t2}, -1, texts::causeRefused, ""},
        {"refused again",
         {401, 403},
         {t1, t2},
         exitTokenRefused,
         texts::causeRefused,
         texts::tokenRefusedAgain},
        {"token unreadable after a refusal",
         {401},
         {t1, gone},
         exitTokenRefused,
         texts::causeRefused,
         "gone"},
        {"subscription busy", {409, 409}, {t1}, -1, texts::causeBusy, "reconnecting in"},
        {"other status", {502}, {t1}, -1, "refused with HTTP 502", "refused with HTTP 502; reconnecting in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        tokens_.readings = c.readings;
        start();
        for (const unsigned status : c.statuses) {
            if (session_->phase() != Phase::Connecting)
                break;
            session_->refused(connections_.last().id, status);
            loop_->advance(options_.reconnectMax);
        }
        if (c.exitStatus >= 0) {
            EXPECT_EQ(session_->phase(), Phase::Stopped);
            EXPECT_TRUE(loop_->stopped());
            EXPECT_EQ(session_->status(), c.exitStatus);
        } else {
            ASSERT_EQ(session_->phase(), Phase::Connecting);
            open();
            EXPECT_EQ(session_->phase(), Phase::Open);
            // A rotated token is tried at once, without a backoff.
            EXPECT_NE(connections_.last().target.find("token=" + c.readings.back().token), std::string::npos);
        }
        EXPECT_GE(reconnects(c.cause), 1u);
        EXPECT_TRUE(logged(c.logText)) << c.logText;
    }

    // A token that cannot be read on a reconnect: the last good one is used again.
    restart();
    tokens_.readings = {t1, {false, "", "cannot read the token: the token command failed"}};
    start();
    open();
    session_->failed(connections_.last().id, {texts::causeFailed, "reset"});
    loop_->advance(options_.reconnectMax);
    ASSERT_EQ(connections_.made.size(), 2u);
    EXPECT_NE(connections_.last().target.find("token=t1"), std::string::npos);
    EXPECT_TRUE(logged(std::string("the token command failed") + texts::keepingLastToken));
}

// The loop ends only once the worker is idle and everything it wrote is acknowledged: the batch in hand,
// then the one filling, then the close.
TEST_F(SessionTest, StopWhileTheWorkerIsBusyDrainsBeforeTheLoopEnds)
{
    start();
    FakeConnection& connection = open();
    for (const char* id : {"a-1", "a-2", "a-3", "a-4", "a-5"})
        frame(id);
    ASSERT_EQ(worker_.jobs.size(), 1u);
    session_->stop(exitStopped);
    EXPECT_EQ(session_->phase(), Phase::Draining);
    EXPECT_TRUE(logged("draining: writing and acknowledging"));
    // Late frames are not taken: the service delivers them again.
    EXPECT_FALSE(frame("a-6"));
    EXPECT_EQ(tally_->metrics.framesReceived.value(), 5u);
    loop_->advance(closeGrace * 2);
    EXPECT_FALSE(loop_->stopped()) << "stopped with the worker busy";
    EXPECT_EQ(givenUp_, 0) << "given up before its time";

    finishBatch();
    EXPECT_EQ(connection.sent, (std::vector<std::string>{"a-1", "a-2", "a-3", "a-4"}));
    ASSERT_EQ(worker_.jobs.size(), 1u); // the partial batch goes at once
    EXPECT_FALSE(connection.closeAsked);
    finishBatch();
    EXPECT_EQ(connection.sent.back(), "a-5");
    EXPECT_TRUE(connection.closeAsked);
    EXPECT_FALSE(loop_->stopped());
    session_->closed(connection.id);
    EXPECT_TRUE(loop_->stopped());
    EXPECT_EQ(session_->phase(), Phase::Stopped);
    EXPECT_EQ(tally_->phaseEntries[static_cast<size_t>(Phase::Draining)], 1u);
}

// An output that waits on (a broker that is away) does not hold a stop for ever: the group in hand is
// given up, unacknowledged, once the grace has passed or at a second stop; the loop then ends.
TEST_F(SessionTest, AStopGivesUpTheGroupInHandAfterItsGraceOrWhenAskedAgain)
{
    for (const bool askedAgain : {false, true}) {
        SCOPED_TRACE(askedAgain ? "asked again" : "grace");
        restart();
        start();
        FakeConnection& connection = open();
        for (const char* id : {"a-1", "a-2", "a-3", "a-4"})
            frame(id);
        session_->stop(exitStopped);
        if (askedAgain) {
            session_->stop(exitStopped);
        } else {
            loop_->advance(drainGrace - Milliseconds(1));
            EXPECT_EQ(givenUp_, 0);
            loop_->advance(Milliseconds(1));
        }
        EXPECT_EQ(givenUp_, 1);
        EXPECT_TRUE(logged(texts::givingUpGroup));
        session_->stop(exitStopped);
        EXPECT_EQ(givenUp_, 1) << "asked once";
        worker_.jobs.front().done(BatchOutcome{}); // the output stopped: nothing to acknowledge
        worker_.jobs.pop_front();
        loop_->runPosted();
        EXPECT_TRUE(connection.sent.empty());
        EXPECT_TRUE(connection.closeAsked);
    }
}

// While the worker converts or syncs, frames gather past one batch and go over as one group once it is
// free, so one sync covers them all; the gathering stops at the byte bound and at the group's frame count.
TEST_F(SessionTest, FramesGatherWhileTheWorkerIsBusyAndGoOverAsOneGroup)
{
    options_.maxBufferedBytes = 100000;
    start();
    FakeConnection& connection = open();
    const auto busyWorker = [&](const std::string& body) {
        acknowledgeSent(connection);
        for (const char* id : {"w-1", "w-2", "w-3", "w-4"})
            frame(id, body);
        ASSERT_EQ(worker_.jobs.size(), 1u);
    };
    // Bytes: a busy worker's backlog stops at --max-buffered-bytes, frames in the worker included.
    const std::string body(1000, 'x');
    busyWorker(body);
    uint64_t bytes = 0;
    const auto countBytes = [&bytes](const FrameBatch& batch) {
        for (size_t index = 0; index < batch.size(); ++index)
            bytes += batch[index].text.size();
    };
    countBytes(worker_.jobs.front().batch);
    int frames = 0;
    while (frame("d-" + std::to_string(++frames), body) && frames < 1000) {
    }
    finishBatch();
    ASSERT_EQ(worker_.jobs.size(), 1u);
    const FrameBatch& backlog = worker_.jobs.front().batch;
    EXPECT_EQ(backlog.size(), static_cast<size_t>(frames));
    EXPECT_GT(backlog.size(), options_.batchSize);
    countBytes(backlog);
    EXPECT_GE(bytes, options_.maxBufferedBytes);
    EXPECT_LT(bytes - backlog[backlog.size() - 1].text.size(), options_.maxBufferedBytes);
    finishBatch();

    // Frames: small ones stop at the group's limit, well under the byte bound, and go over in order.
    busyWorker("{}");
    std::vector<std::string> gathered;
    do
        gathered.push_back("f-" + std::to_string(gathered.size() + 1));
    while (frame(gathered.back()) && gathered.size() < 10 * groupFrameLimit(options_));
    EXPECT_EQ(gathered.size(), groupFrameLimit(options_));
    finishBatch();
    const FrameBatch& group = worker_.jobs.front().batch;
    ASSERT_EQ(group.size(), gathered.size());
    for (size_t index = 0; index < group.size(); ++index)
        EXPECT_EQ(FakeWorker::identifier(group[index].text), gathered[index]);
    EXPECT_EQ(group[0].connection, connection.id);
    finishBatch();
    EXPECT_EQ(connection.sent.size(), 4 + gathered.size());
    EXPECT_EQ(connection.sent.back(), gathered.back());
}

// Frames held are bounded in count and in bytes; acknowledgements waiting to be sent are bounded too.
// Past a bound the connection is not read, and reading resumes once it is back under. A service that
// takes no acknowledgement for two ping intervals would leave the consumer waiting for ever, so the
// connection is given up, for that cause; taking them slowly is enough to keep it.
TEST_F(SessionTest, ReadingPausesPastEachBoundAndResumesUnderIt)
{
    options_.maxBufferedBytes = 1000;
    options_.pingInterval = Milliseconds(500);
    start();
    FakeConnection& connection = open();

    // Bytes: a large frame gets the batch handed over at once, and reading waits for the worker.
    EXPECT_TRUE(frame("a-1"));
    EXPECT_FALSE(frame("a-2", std::string(1200, 'x')));
    ASSERT_EQ(worker_.jobs.size(), 1u);
    const int resumedBefore = connection.resumed;
    finishBatch();
    EXPECT_GT(connection.resumed, resumedBefore);

    // Acknowledgements: the service reads none of them, so they pile up to the budget.
    acknowledgeSent(connection);
    readUntilPaused(connection, "b-", 4 * acknowledgementBudget(options_));
    const size_t unsent = connection.sent.size();
    EXPECT_GE(unsent, acknowledgementBudget(options_));
    EXPECT_LT(unsent, acknowledgementBudget(options_) + options_.batchSize);
    ASSERT_TRUE(connection.paused) << "read on with " << unsent << " acknowledgements unsent";
    session_->acknowledgementsSent(connection.id, unsent - acknowledgementBudget(options_));
    EXPECT_TRUE(connection.paused) << "resumed while still at the bound";
    loop_->advance(options_.pingInterval);
    session_->acknowledgementsSent(connection.id, 1);
    EXPECT_FALSE(connection.paused);

    readUntilPaused(connection, "c-", 100);
    loop_->advance(2 * options_.pingInterval);
    EXPECT_FALSE(connection.abandoned);
    EXPECT_EQ(session_->phase(), Phase::Open);
    loop_->advance(2 * options_.pingInterval);
    EXPECT_TRUE(connection.abandoned);
    EXPECT_EQ(reconnects(texts::causeAcknowledgementsNotRead), 1u);
}

// Never acknowledged: a frame too large to keep that has no identifier, and frames of a connection that
// ended (on the next one they would not match, and the
// service delivers them again anyway). The cause of the end is logged with the service's words escaped.
TEST_F(SessionTest, AcknowledgementsThatMustNotBeSentAreNot)
{
    start();
    FakeConnection& first = open();
    EXPECT_TRUE(session_->frameTooLarge(first.id, "big-1", 70000000));
    EXPECT_TRUE(session_->frameTooLarge(first.id, "", 70000000));
    EXPECT_EQ(first.sent, std::vector<std::string>{"big-1"});
    EXPECT_TRUE(logged("frame big-1: 70000000 bytes"));
    EXPECT_TRUE(logged(texts::frameWithoutIdentifier));
    EXPECT_EQ(tally_->tooLarge, 2u);
    for (const char* id : {"b-1", "b-2", "b-3", "b-4"})
        frame(id);
    const std::string words("code 4000 \x1b[2J\\ caf\xc3\xa9\r\0.", 24);
    session_->failed(first.id, {texts::causeClosed, words});
    EXPECT_TRUE(logged("closed by the service: code 4000 \\x1b[2J\\\\ caf\xc3\xa9\\r\\x00.; reconnecting in"))
        << log_.back();
    EXPECT_EQ(reconnects(texts::causeClosed), 1u);
    EXPECT_TRUE(first.abandoned);
    loop_->advance(options_.reconnectMax);
    FakeConnection& second = open();
    finishBatch();
    EXPECT_EQ(first.sent, std::vector<std::string>{"big-1"});
    EXPECT_TRUE(second.sent.empty());
    // News from the first connection is ignored.
    EXPECT_FALSE(session_->frameArrived(first.id, "x-1\n/p\nCREATE\n\n{}"));
    session_->failed(first.id, {texts::causeFailed, ""});
    EXPECT_EQ(session_->phase(), Phase::Open);
}

} // namespace
