// The consumer's connection logic against fakes: no sockets, no threads, a clock moved by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/host_test.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/service_session.h"

namespace {

using namespace consume;
using TimePoint = std::chrono::steady_clock::time_point;

class ManualLoop : public EventLoop {
public:
    struct ManualTimer : Timer {
        explicit ManualTimer(ManualLoop& loop) : loop(loop) { loop.timers_.push_back(this); }
        ~ManualTimer() override
        {
            loop.timers_.erase(std::find(loop.timers_.begin(), loop.timers_.end(), this));
        }
        void start(Milliseconds delay, std::function<void()> fired) override
        {
            due = loop.now_ + delay;
            this->fired = std::move(fired);
        }
        void cancel() override { fired = nullptr; }

        ManualLoop& loop;
        TimePoint due{};
        std::function<void()> fired;
    };

    TimePoint now() const override { return now_; }
    std::unique_ptr<Timer> timer() override { return std::make_unique<ManualTimer>(*this); }
    void post(std::function<void()> work) override { posted_.push_back(std::move(work)); }
    void stop() override { stopped = true; }

    // A deque's elements stay where they are while work posts more.
    void runPosted()
    {
        for (; !posted_.empty(); posted_.pop_front())
            posted_.front()();
    }

    // Moves the clock on, firing the timers that fall due on the way, earliest first.
    void advance(Milliseconds by)
    {
        const TimePoint until = now_ + by;
        for (;;) {
            runPosted();
            ManualTimer* next = nullptr;
            for (ManualTimer* timer : timers_) {
                if (timer->fired && timer->due <= until && (next == nullptr || timer->due < next->due))
                    next = timer;
            }
            if (next == nullptr)
                break;
            now_ = std::max(now_, next->due);
            std::exchange(next->fired, nullptr)();
        }
        now_ = until;
    }

    bool stopped = false;

private:
    TimePoint now_{};
    std::vector<ManualTimer*> timers_;
    std::deque<std::function<void()>> posted_;
};

struct FakeConnection : Connection {
    FakeConnection(uint64_t id, TimePoint createdAt) : id(id), createdAt(createdAt) {}
    void open(const std::string& target) override { this->target = target; }
    void send(std::string text) override { sent.push_back(std::move(text)); }
    void resume() override { paused = false; }
    void close() override { closeAsked = true; }
    void abandon() override { abandoned = true; }

    uint64_t id;
    TimePoint createdAt;
    std::string target;
    std::vector<std::string> sent;
    bool paused = false; // set by the test when a report returned false
    bool closeAsked = false;
    bool abandoned = false;
};

// Answers at once with the next of readings, or the last one again.
struct FakeTokens : TokenSource {
    void fetch(Done done) override
    {
        done(readings.front());
        if (readings.size() > 1)
            readings.pop_front();
    }
    void cancel() override {}

    std::deque<TokenReading> readings{{true, "t1", ""}};
};

class SessionTest : public testing_support::HostTest {
protected:
    SessionTest() { options_.batchSize = 4; }

    // A fresh session: what an earlier case left is forgotten.
    void start()
    {
        session_.reset();
        loop_ = std::make_unique<ManualLoop>();
        tally_ = std::make_unique<ConsumeTally>();
        made_.clear();
        jobs_.clear();
        log_.clear();
        givenUp_ = 0;
        auto connect = [this](uint64_t id, ConnectionEvents&) {
            return made_.emplace_back(std::make_shared<FakeConnection>(id, loop_->now()));
        };
        auto convert = [this](FrameBatch batch, ConversionWorker::Done done) {
            jobs_.emplace_back(std::move(batch), std::move(done));
        };
        auto log = [this](const std::string& line) { log_ += line + '\n'; };
        auto giveUp = [this] { ++givenUp_; };
        session_ = std::make_unique<ServiceSession>(
            options_, url_, ServiceSession::Parts{*loop_, connect, tokens_, convert, log, nullptr, giveUp},
            *tally_);
        session_->start();
        loop_->runPosted();
    }

    FakeConnection& last() { return *made_.back(); }

    // Connected and upgraded: the current connection.
    FakeConnection& open()
    {
        session_->opened(last().id);
        return last();
    }

    bool frame(const std::string& identifier, const std::string& body = "{}")
    {
        return session_->frameArrived(last().id, identifier + "\n/t1/alarms/1\nCREATE\n\n" + body);
    }

    // The worker ends its oldest group, acknowledging each frame by its first line unless told not to.
    void finishBatch(bool acknowledge = true)
    {
        auto [batch, done] = std::move(jobs_.front());
        jobs_.pop_front();
        BatchOutcome outcome;
        for (size_t index = 0; acknowledge && index < batch.size(); ++index) {
            const FrameBatch::Frame frame = batch[index];
            outcome.acknowledgements.push_back(
                {frame.connection, std::string(frame.text.substr(0, frame.text.find('\n')))});
        }
        done(std::move(outcome));
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
            if (!jobs_.empty())
                finishBatch();
        }
    }

    bool logged(const std::string& piece) const { return log_.find(piece) != std::string::npos; }

    uint64_t reconnects(const std::string& cause) const
    {
        const auto values = tally_->metrics.reconnects.values();
        return std::map<std::string, uint64_t>(values.begin(), values.end())[cause];
    }

    Options options_;
    ServiceUrl url_;
    std::unique_ptr<ManualLoop> loop_;
    std::vector<std::shared_ptr<FakeConnection>> made_;
    FakeTokens tokens_;
    std::deque<std::pair<FrameBatch, ConversionWorker::Done>> jobs_;
    int givenUp_ = 0;
    std::unique_ptr<ConsumeTally> tally_;
    std::string log_;
    std::unique_ptr<ServiceSession> session_;
};

// A service that upgrades and closes at once must not be reconnected to ten times a second: the backoff
// grows until a connection proves healthy (a frame, or a while open), and only then starts again.
TEST_F(SessionTest, BackoffGrowsUntilAConnectionProvesHealthy)
{
    start();
    Milliseconds bound = firstBackoff;
    for (int attempt = 0; attempt < 12; ++attempt) {
        SCOPED_TRACE(attempt);
        const TimePoint failedAt = loop_->now();
        session_->failed(open().id, {texts::causeClosed, "code 1000"});
        EXPECT_EQ(session_->phase(), Phase::Backoff);
        loop_->advance(bound);
        ASSERT_EQ(session_->phase(), Phase::Connecting);
        EXPECT_GE(last().createdAt - failedAt, bound / 2);
        EXPECT_LE(last().createdAt - failedAt, bound);
        bound = std::min(2 * bound, options_.reconnectMax);
    }
    EXPECT_EQ(bound, options_.reconnectMax);
    EXPECT_EQ(reconnects(texts::causeClosed), 12u);

    for (const bool delivers : {true, false}) {
        SCOPED_TRACE(delivers ? "delivered a frame" : "stayed open");
        for (int attempt = 0; attempt < 3; ++attempt) { // grown again by connections that prove nothing
            session_->failed(open().id, {texts::causeFailed, ""});
            loop_->advance(options_.reconnectMax);
        }
        open();
        if (delivers)
            frame("a-1");
        loop_->advance(delivers ? Milliseconds(1) : provenHealthyAfter);
        const TimePoint failedAt = loop_->now();
        session_->failed(last().id, {texts::causeFailed, ""});
        loop_->advance(firstBackoff);
        ASSERT_EQ(session_->phase(), Phase::Connecting);
        EXPECT_LE(last().createdAt - failedAt, firstBackoff);
    }
}

// A refused token is read again once; refused twice, or unreadable then, the consumer exits. A token that
// cannot be read on a reconnect is the last good one again.
TEST_F(SessionTest, RefusalsRereadTheTokenOnceAndBusyOnesBackOff)
{
    const TokenReading t1{true, "t1", ""};
    const TokenReading t2{true, "t2", ""};
    const TokenReading gone{false, "", "cannot read the token: gone"};
    const struct {
        std::vector<unsigned> statuses;    // the answers to the upgrades, in order; 0: the connection failed
        std::deque<TokenReading> readings; // what the token source gives, in order
        int exitStatus;                    // -1: still running, connected with token
        const char* token;
        const char* cause;
        std::string logText;
    } cases[] = {
        {{403}, {t1, t2}, -1, "t2", texts::causeRefused, texts::connected},
        {{401, 403}, {t1, t2}, exitTokenRefused, "", texts::causeRefused, texts::tokenRefusedAgain},
        {{401}, {t1, gone}, exitTokenRefused, "", texts::causeRefused, "gone"},
        {{409, 409}, {t1}, -1, "t1", texts::causeBusy, "reconnecting in"},
        {{502}, {t1}, -1, "t1", "refused with HTTP 502", "refused with HTTP 502; reconnecting in"},
        {{0}, {t1, gone}, -1, "t1", texts::causeFailed, std::string("gone") + texts::keepingLastToken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logText);
        tokens_.readings = c.readings;
        start();
        for (const unsigned status : c.statuses) {
            if (session_->phase() != Phase::Connecting)
                break;
            if (status == 0)
                session_->failed(last().id, {texts::causeFailed, "reset"});
            else
                session_->refused(last().id, status);
            loop_->advance(options_.reconnectMax);
        }
        if (c.exitStatus >= 0) {
            EXPECT_EQ(session_->phase(), Phase::Stopped);
            EXPECT_TRUE(loop_->stopped);
            EXPECT_EQ(session_->status(), c.exitStatus);
        } else {
            ASSERT_EQ(session_->phase(), Phase::Connecting);
            open();
            EXPECT_EQ(session_->phase(), Phase::Open);
            EXPECT_NE(last().target.find(std::string("token=") + c.token), std::string::npos);
        }
        EXPECT_GE(reconnects(c.cause), 1u);
        EXPECT_TRUE(logged(c.logText));
    }
}

// The loop ends only once the worker is idle and everything it wrote is acknowledged: the batch in hand,
// then the one filling, then the close.
TEST_F(SessionTest, StopWhileTheWorkerIsBusyDrainsBeforeTheLoopEnds)
{
    start();
    FakeConnection& connection = open();
    for (const char* id : {"a-1", "a-2", "a-3", "a-4", "a-5"})
        frame(id);
    ASSERT_EQ(jobs_.size(), 1u);
    session_->stop(exitStopped);
    EXPECT_EQ(session_->phase(), Phase::Draining);
    EXPECT_TRUE(logged("draining: writing and acknowledging"));
    EXPECT_FALSE(frame("a-6")) << "a late frame taken; the service delivers it again";
    EXPECT_EQ(tally_->metrics.framesReceived.value(), 5u);
    loop_->advance(closeGrace * 2);
    EXPECT_FALSE(loop_->stopped) << "stopped with the worker busy";

    finishBatch();
    EXPECT_EQ(connection.sent, (std::vector<std::string>{"a-1", "a-2", "a-3", "a-4"}));
    ASSERT_EQ(jobs_.size(), 1u); // the partial batch goes at once
    EXPECT_FALSE(connection.closeAsked);
    finishBatch();
    EXPECT_EQ(connection.sent.back(), "a-5");
    EXPECT_TRUE(connection.closeAsked);
    EXPECT_FALSE(loop_->stopped);
    session_->closed(connection.id);
    EXPECT_TRUE(loop_->stopped);
    EXPECT_EQ(session_->phase(), Phase::Stopped);
    EXPECT_EQ(tally_->phaseEntries[static_cast<size_t>(Phase::Draining)], 1u);
}

// An output that waits on a broker that is away does not hold a stop for ever: the group in hand is given
// up, unacknowledged, once the grace has passed or at a second stop.
TEST_F(SessionTest, AStopGivesUpTheGroupInHandAfterItsGraceOrWhenAskedAgain)
{
    for (const bool askedAgain : {false, true}) {
        SCOPED_TRACE(askedAgain ? "asked again" : "grace");
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
        finishBatch(false); // the output stopped: nothing to acknowledge
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
    const std::vector<std::string> inWorker{"w-001", "w-002", "w-003", "w-004"};
    const auto busyWorker = [&](const std::string& body) {
        acknowledgeSent(connection);
        for (const std::string& id : inWorker)
            frame(id, body);
        ASSERT_EQ(jobs_.size(), 1u);
    };
    // Bytes: a busy worker's backlog stops at --max-buffered-bytes, frames in the worker included.
    const std::string body(1000, 'x');
    busyWorker(body);
    const size_t frameBytes = jobs_.front().first[0].text.size(); // every frame here is as long
    size_t frames = 0;
    while (frame("d-" + std::to_string(100 + ++frames), body) && frames < 500) {
    }
    finishBatch();
    ASSERT_EQ(jobs_.size(), 1u);
    EXPECT_EQ(jobs_.front().first.size(), frames);
    EXPECT_GE((inWorker.size() + frames) * frameBytes, options_.maxBufferedBytes);
    EXPECT_LT((inWorker.size() + frames - 1) * frameBytes, options_.maxBufferedBytes);
    finishBatch();

    // Frames: small ones stop at the group's limit, well under the byte bound, and go over in order.
    busyWorker("{}");
    std::vector<std::string> gathered;
    do
        gathered.push_back("f-" + std::to_string(gathered.size() + 1));
    while (frame(gathered.back()) && gathered.size() < 10 * groupFrameLimit(options_));
    EXPECT_EQ(gathered.size(), groupFrameLimit(options_));
    finishBatch();
    ASSERT_EQ(jobs_.front().first.size(), gathered.size());
    finishBatch();
    gathered.insert(gathered.begin(), inWorker.begin(), inWorker.end());
    EXPECT_EQ(connection.sent, gathered);
}

// Frames held are bounded in count and in bytes, and so are acknowledgements waiting to be sent: past a
// bound the connection is not read until it is back under. A service that takes no acknowledgement for two
// ping intervals is given up, since reading would never resume; taking them slowly keeps it.
TEST_F(SessionTest, ReadingPausesPastEachBoundAndResumesUnderIt)
{
    options_.maxBufferedBytes = 1000;
    options_.pingInterval = Milliseconds(500);
    start();
    FakeConnection& connection = open();

    // Bytes: a large frame gets the batch handed over at once, and reading waits for the worker.
    EXPECT_TRUE(frame("a-1"));
    connection.paused = !frame("a-2", std::string(1200, 'x'));
    ASSERT_TRUE(connection.paused);
    ASSERT_EQ(jobs_.size(), 1u);
    finishBatch();
    EXPECT_FALSE(connection.paused);

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
// ended (the service delivers them again). The service's words in the cause are logged escaped.
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
        << log_;
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
