// The consumer's connection logic against hand-driven fakes: reconnects and their
// backoff, refusals, the token, the stop while the worker is busy, and the bounds on
// what is held. No sockets, no threads: the clock moves when the test says.
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
        loop_.reset();
        connections_.made.clear();
        log_.clear();
        tally_ = std::make_unique<ConsumeTally>();
    }

    ServiceSession& start()
    {
        session_ = std::make_unique<ServiceSession>(
            options_, url_,
            ServiceSession::Parts{loop_, connections_.factory(loop_), tokens_,
                                  [this](FrameBatch batch, ConversionWorker::Done done) {
                                      worker_.convert(std::move(batch), std::move(done));
                                  },
                                  [this](const std::string& line) { log_.push_back(line); }, nullptr},
            *tally_);
        session_->start();
        loop_.runPosted();
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

    void finishBatch(int writeError = 0)
    {
        worker_.finish(writeError);
        loop_.runPosted();
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
    ManualLoop loop_;
    FakeConnections connections_;
    FakeTokens tokens_;
    FakeWorker worker_;
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
        const TimePoint failedAt = loop_.now();
        session_->failed(connections_.last().id, {texts::causeClosed, "code 1000"});
        EXPECT_EQ(session_->phase(), Phase::Backoff);
        loop_.advance(bound);
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
            loop_.advance(options_.reconnectMax);
        }
        open();
        if (c.delivers)
            frame("a-1");
        loop_.advance(c.openFor);
        const TimePoint failedAt = loop_.now();
        session_->failed(connections_.last().id, {texts::causeFailed, ""});
        loop_.advance(firstBackoff);
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
    const Case cases[] = {
        {"rotated token", {401}, {t1, t2}, -1, texts::causeRefused, ""},
        {"forbidden, rotated", {403}, {t1, t2}, -1, texts::causeRefused, ""},
        {"same token again",
         {401},
         {t1},
         exitTokenRefused,
         texts::causeRefused,
         texts::tokenRefusedUnchanged},
        {"refused again",
         {401, 403},
         {t1, t2},
         exitTokenRefused,
         texts::causeRefused,
         texts::tokenRefusedAgain},
        {"token unreadable after a refusal",
         {401},
         {t1, {false, "", "cannot read the token: gone"}},
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
            loop_.advance(options_.reconnectMax);
        }
        if (c.exitStatus >= 0) {
            EXPECT_EQ(session_->phase(), Phase::Stopped);
            EXPECT_TRUE(loop_.stopped());
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
}

TEST_F(SessionTest, NoTokenAtStartIsAConfigurationErrorAndLaterTheLastGoodTokenIsKept)
{
    tokens_.readings = {{false, "", "cannot read the token: /run/token: No such file or directory"}};
    start();
    EXPECT_EQ(session_->phase(), Phase::Stopped);
    EXPECT_EQ(session_->status(), exitUsage);
    EXPECT_TRUE(logged("No such file or directory"));
    EXPECT_TRUE(connections_.made.empty());

    restart();
    tokens_.readings = {{true, "t1", ""}, {false, "", "cannot read the token: the token command failed"}};
    start();
    open();
    session_->failed(connections_.last().id, {texts::causeFailed, "reset"});
    loop_.advance(options_.reconnectMax);
    ASSERT_EQ(connections_.made.size(), 2u);
    EXPECT_NE(connections_.last().target.find("token=t1"), std::string::npos);
    EXPECT_TRUE(logged(std::string("the token command failed") + texts::keepingLastToken));
}

// A stop while a token command runs gives it up and ends without waiting for it.
TEST_F(SessionTest, StopWhileTheTokenIsReadCancelsTheReading)
{
    tokens_.hold = true;
    start();
    session_->stop(exitStopped);
    EXPECT_EQ(tokens_.cancelled, 1);
    EXPECT_EQ(session_->phase(), Phase::Stopped);
    EXPECT_TRUE(loop_.stopped());
    EXPECT_EQ(session_->status(), exitStopped);
}

// The loop ends only once the worker is idle and everything it wrote is acknowledged: the batch in hand,
// then the one filling, then the close.
TEST_F(SessionTest, StopWhileTheWorkerIsBusyDrainsBeforeTheLoopEnds)
{
    start();
    FakeConnection& connection = open();
    for (const char* id : {"a-1", "a-2", "a-3", "a-4"})
        frame(id);
    ASSERT_EQ(worker_.jobs.size(), 1u);
    frame("a-5");
    session_->stop(exitStopped);
    EXPECT_EQ(session_->phase(), Phase::Draining);
    EXPECT_TRUE(logged("draining: writing and acknowledging"));
    // Late frames are not taken: the service delivers them again.
    EXPECT_FALSE(frame("a-6"));
    EXPECT_EQ(tally_->metrics.framesReceived.value(), 5u);
    loop_.advance(closeGrace * 2);
    EXPECT_FALSE(loop_.stopped()) << "stopped with the worker busy";
    EXPECT_FALSE(connection.closeAsked);

    finishBatch();
    EXPECT_EQ(connection.sent, (std::vector<std::string>{"a-1", "a-2", "a-3", "a-4"}));
    ASSERT_EQ(worker_.jobs.size(), 1u); // the partial batch goes at once
    EXPECT_FALSE(connection.closeAsked);
    finishBatch();
    EXPECT_EQ(connection.sent.back(), "a-5");
    EXPECT_TRUE(connection.closeAsked);
    EXPECT_FALSE(loop_.stopped());
    session_->closed(connection.id);
    EXPECT_TRUE(loop_.stopped());
    EXPECT_EQ(session_->phase(), Phase::Stopped);
    EXPECT_EQ(tally_->phaseEntries[static_cast<size_t>(Phase::Draining)], 1u);
}

// While the worker converts or syncs, frames gather past one batch and go over as one group once it is
// free, so one sync covers them all; the gathering stops at the byte bound and at the group's frame count.
TEST_F(SessionTest, FramesGatherWhileTheWorkerIsBusyAndGoOverAsOneGroup)
{
    options_.maxBufferedBytes = 100000;
    start();
    FakeConnection& connection = open();
    for (const char* id : {"a-1", "a-2", "a-3", "a-4"})
        frame(id);
    ASSERT_EQ(worker_.jobs.size(), 1u);
    std::vector<std::string> gathered;
    for (int index = 1; index <= 10; ++index) {
        gathered.push_back("b-" + std::to_string(index));
        EXPECT_TRUE(frame(gathered.back())) << "reading paused at " << gathered.back();
    }
    EXPECT_EQ(worker_.jobs.size(), 1u);
    finishBatch();
    ASSERT_EQ(worker_.jobs.size(), 1u);
    std::vector<std::string> group;
    const FrameBatch& first = worker_.jobs.front().batch;
    for (size_t index = 0; index < first.size(); ++index) {
        EXPECT_EQ(first[index].connection, connection.id);
        group.emplace_back(first[index].text.substr(0, first[index].text.find('\n')));
    }
    EXPECT_EQ(group, gathered);
    finishBatch();
    EXPECT_EQ(connection.sent.size(), 14u);
    EXPECT_EQ(connection.sent.back(), "b-10");
    for (size_t sent = 0; sent < connection.sent.size(); ++sent)
        session_->acknowledgementsSent(connection.id, 1);
    connection.sent.clear();

    // Bytes: a busy worker's backlog stops at --max-buffered-bytes, frames in the worker included.
    const std::string body(1000, 'x');
    for (const char* id : {"c-1", "c-2", "c-3", "c-4"})
        frame(id, body);
    ASSERT_EQ(worker_.jobs.size(), 1u);
    uint64_t bytes = 0;
    for (size_t index = 0; index < worker_.jobs.front().batch.size(); ++index)
        bytes += worker_.jobs.front().batch[index].text.size();
    int frames = 0;
    while (frame("d-" + std::to_string(++frames), body) && frames < 1000) {
    }
    finishBatch();
    ASSERT_EQ(worker_.jobs.size(), 1u);
    const FrameBatch& backlog = worker_.jobs.front().batch;
    EXPECT_EQ(backlog.size(), static_cast<size_t>(frames));
    EXPECT_GT(backlog.size(), options_.batchSize);
    for (size_t index = 0; index < backlog.size(); ++index)
        bytes += backlog[index].text.size();
    EXPECT_GE(bytes, options_.maxBufferedBytes);
    EXPECT_LT(bytes - backlog[backlog.size() - 1].text.size(), options_.maxBufferedBytes);
    finishBatch();

    // Frames: small ones stop at the group's limit, well under the byte bound.
    for (size_t sent = 0; sent < connection.sent.size(); ++sent)
        session_->acknowledgementsSent(connection.id, 1);
    connection.sent.clear();
    for (const char* id : {"e-1", "e-2", "e-3", "e-4"})
        frame(id);
    ASSERT_EQ(worker_.jobs.size(), 1u);
    size_t small = 0;
    while (frame("f-" + std::to_string(++small)) && small < 10 * groupFrameLimit(options_)) {
    }
    EXPECT_EQ(small, groupFrameLimit(options_));
    finishBatch();
    EXPECT_EQ(worker_.jobs.front().batch.size(), groupFrameLimit(options_));
    finishBatch();
    EXPECT_EQ(connection.sent.size(), 4 + groupFrameLimit(options_));
}

TEST_F(SessionTest, AnOutputErrorStopsWithNothingAcknowledged)
{
    start();
    FakeConnection& connection = open();
    for (const char* id : {"a-1", "a-2", "a-3", "a-4", "a-5"})
        frame(id);
    finishBatch(28);
    EXPECT_TRUE(connection.sent.empty());
    EXPECT_EQ(session_->status(), exitOutput);
    EXPECT_TRUE(logged("No space left on device"));
    EXPECT_TRUE(worker_.jobs.empty()) << "the frames behind the failed batch went to the worker";
    EXPECT_TRUE(connection.closeAsked);
}

// Frames held are bounded in count and in bytes; acknowledgements waiting to be sent are
// bounded too. Past a bound the connection is not read, and reading resumes once it is back under.
TEST_F(SessionTest, ReadingPausesPastEachBoundAndResumesUnderIt)
{
    options_.maxBufferedBytes = 1000;
    start();
    FakeConnection& connection = open();

    // Bytes: a large frame gets the batch handed over at once, and reading waits for the worker.
    EXPECT_TRUE(frame("a-1"));
    EXPECT_FALSE(frame("a-2", std::string(1200, 'x')));
    ASSERT_EQ(worker_.jobs.size(), 1u);
    const int resumedBefore = connection.resumed;
    finishBatch();
    EXPECT_GT(connection.resumed, resumedBefore);

    // Acknowledgements: the service reads none of them, so they pile up; past the budget, the connection
    // is not read.
    for (size_t sent = 0; sent < connection.sent.size(); ++sent)
        session_->acknowledgementsSent(connection.id, 1);
    connection.sent.clear();
    size_t frames = 0;
    while (!connection.paused && frames < 4 * acknowledgementBudget(options_)) {
        connection.paused = !frame("b-" + std::to_string(++frames));
        if (!worker_.jobs.empty())
            finishBatch();
    }
    const size_t unsent = connection.sent.size();
    EXPECT_GE(unsent, acknowledgementBudget(options_));
    EXPECT_LT(unsent, acknowledgementBudget(options_) + options_.batchSize);
    ASSERT_TRUE(connection.paused) << "read on with " << unsent << " acknowledgements unsent";
    for (size_t sent = acknowledgementBudget(options_); sent < unsent; ++sent)
        session_->acknowledgementsSent(connection.id, 1);
    EXPECT_TRUE(connection.paused) << "resumed while still at the bound";
    session_->acknowledgementsSent(connection.id, 1);
    EXPECT_FALSE(connection.paused);
}

// Reading waits on the service taking acknowledgements; one that takes none for two ping intervals would
// leave the consumer waiting for ever, so the connection is given up, for that cause.
TEST_F(SessionTest, AServiceThatTakesNoAcknowledgementsIsGivenUp)
{
    options_.pingInterval = Milliseconds(500);
    start();
    FakeConnection& connection = open();
    while (!connection.paused) {
        connection.paused = !frame("b-" + std::to_string(connection.sent.size()));
        if (!worker_.jobs.empty())
            finishBatch();
    }
    const auto fillToTheBound = [&] {
        for (int frames = 0; !connection.paused && frames < 100; ++frames) {
            connection.paused = !frame("c-" + std::to_string(frames));
            if (!worker_.jobs.empty())
                finishBatch();
        }
    };
    // Taking them slowly is enough to keep the connection.
    loop_.advance(options_.pingInterval);
    session_->acknowledgementsSent(connection.id, 1);
    EXPECT_FALSE(connection.paused);
    fillToTheBound();
    loop_.advance(2 * options_.pingInterval);
    EXPECT_FALSE(connection.abandoned);
    EXPECT_EQ(session_->phase(), Phase::Open);
    loop_.advance(2 * options_.pingInterval);
    EXPECT_TRUE(connection.abandoned);
    EXPECT_EQ(reconnects(texts::causeAcknowledgementsNotRead), 1u);
}

TEST_F(SessionTest, OversizedAndUnsubscribeFramesAreReportedAndNeverAcknowledgedWithUnsubscribe)
{
    start();
    FakeConnection& connection = open();
    EXPECT_TRUE(session_->frameTooLarge(connection.id, "big-1", 70000000));
    EXPECT_TRUE(session_->frameTooLarge(connection.id, "", 70000000));
    EXPECT_EQ(connection.sent, std::vector<std::string>{"big-1"});
    EXPECT_TRUE(logged("frame big-1: 70000000 bytes"));
    EXPECT_TRUE(logged(texts::frameWithoutIdentifier));
    EXPECT_EQ(tally_->tooLarge, 2u);

    for (const char* id : {"unsubscribe", "a-1", "a-2", "a-3"})
        frame(id);
    finishBatch();
    EXPECT_EQ(connection.sent, (std::vector<std::string>{"big-1", "a-1", "a-2", "a-3"}));
    EXPECT_EQ(tally_->notAcknowledged, 1u);
    EXPECT_TRUE(logged("frame unsubscribe: not acknowledged"));
}

// Acknowledgements owed to a connection that ended are not sent on the next one: there they would not
// match, and the service delivers those frames again anyway.
TEST_F(SessionTest, AcknowledgementsOfAnEndedConnectionAreDropped)
{
    start();
    FakeConnection& first = open();
    for (const char* id : {"a-1", "a-2", "a-3", "a-4"})
        frame(id);
    session_->failed(first.id, {texts::causeDead, "timeout"});
    EXPECT_TRUE(first.abandoned);
    loop_.advance(options_.reconnectMax);
    FakeConnection& second = open();
    finishBatch();
    EXPECT_TRUE(first.sent.empty());
    EXPECT_TRUE(second.sent.empty());
    // News from the first connection is ignored.
    EXPECT_FALSE(session_->frameArrived(first.id, "x-1\n/p\nCREATE\n\n{}"));
    session_->failed(first.id, {texts::causeFailed, ""});
    EXPECT_EQ(session_->phase(), Phase::Open);
}

TEST_F(SessionTest, EndCausesAreLoggedWithTheServicesWordsEscaped)
{
    start();
    open();
    session_->failed(connections_.last().id, {texts::causeClosed, "code 4000 going\x1b[2J away\r"});
    EXPECT_TRUE(logged("closed by the service: code 4000 going\\x1b[2J away\\r; reconnecting in"))
        << log_.back();
    EXPECT_EQ(reconnects(texts::causeClosed), 1u);
}

} // namespace
