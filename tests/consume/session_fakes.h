// Hand-driven stand-ins for what ServiceSession talks to: a loop whose clock moves
// only when the test says, connections that record what they were asked, a token
// source and a worker that answer when the test says.
#pragma once

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tools/consume/connection.h"
#include "tools/consume/conversion_worker.h"
#include "tools/consume/event_loop.h"
#include "tools/consume/token_source.h"

namespace session_testing {

using namespace consume;
using TimePoint = std::chrono::steady_clock::time_point;

class ManualLoop : public EventLoop {
public:
    class ManualTimer : public Timer {
    public:
        explicit ManualTimer(ManualLoop& loop) : loop_(loop) { loop_.timers_.push_back(this); }
        ~ManualTimer() override
        {
            loop_.timers_.erase(std::find(loop_.timers_.begin(), loop_.timers_.end(), this));
        }
        void start(Milliseconds delay, std::function<void()> fired) override
        {
            due_ = loop_.now_ + delay;
            fired_ = std::move(fired);
        }
        void cancel() override { fired_ = nullptr; }

    private:
        friend class ManualLoop;
        ManualLoop& loop_;
        TimePoint due_{};
        std::function<void()> fired_;
    };

    ManualLoop() = default;
    ManualLoop(const ManualLoop&) = delete;
    ManualLoop& operator=(const ManualLoop&) = delete;

    // For the next session; the last one, and its timers, must be gone.
    void reset()
    {
        now_ = {};
        posted_.clear();
        stopped_ = false;
    }

    TimePoint now() const override { return now_; }
    std::unique_ptr<Timer> timer() override { return std::make_unique<ManualTimer>(*this); }
    void post(std::function<void()> work) override { posted_.push_back(std::move(work)); }
    void stop() override { stopped_ = true; }

    bool stopped() const { return stopped_; }

    void runPosted()
    {
        while (!posted_.empty()) {
            auto work = std::move(posted_.front());
            posted_.pop_front();
            work();
        }
    }

    // Moves the clock on, firing the timers that fall due on the way, earliest first.
    void advance(Milliseconds by)
    {
        const TimePoint until = now_ + by;
        for (;;) {
            runPosted();
            ManualTimer* next = nullptr;
            for (ManualTimer* timer : timers_) {
                if (timer->fired_ && timer->due_ <= until && (next == nullptr || timer->due_ < next->due_))
                    next = timer;
            }
            if (next == nullptr)
                break;
            now_ = std::max(now_, next->due_);
            auto fired = std::move(next->fired_);
            next->fired_ = nullptr;
            fired();
        }
        now_ = until;
    }

private:
    TimePoint now_{};
    std::vector<ManualTimer*> timers_;
    std::deque<std::function<void()>> posted_;
    bool stopped_ = false;
};

struct FakeConnection : Connection {
    void open(const std::string& target) override { this->target = target; }
    void send(std::string text) override { sent.push_back(std::move(text)); }
    void resume() override
    {
        ++resumed;
        paused = false;
    }
    void close() override { closeAsked = true; }
    void abandon() override { abandoned = true; }

    uint64_t id = 0;
    TimePoint createdAt{};
    std::string target;
    std::vector<std::string> sent;
    int resumed = 0;
    bool paused = false; // set by the test when a report returned false
    bool closeAsked = false;
    bool abandoned = false;
};

// Every connection the session asked for, in order.
struct FakeConnections {
    ConnectionFactory factory(ManualLoop& loop)
    {
        return [this, &loop](uint64_t id, ConnectionEvents&) {
            auto connection = std::make_shared<FakeConnection>();
            connection->id = id;
            connection->createdAt = loop.now();
            made.push_back(connection);
            return connection;
        };
    }
    FakeConnection& last() { return *made.back(); }

    std::vector<std::shared_ptr<FakeConnection>> made;
};

// Answers at once with the next of readings (or the last one again), unless held.
struct FakeTokens : TokenSource {
    void fetch(Done done) override
    {
        ++fetches;
        if (hold) {
            pending = std::move(done);
            return;
        }
        done(next());
    }
    void cancel() override
    {
        if (pending) {
            ++cancelled;
            pending = nullptr;
        }
    }
    TokenReading next()
    {
        TokenReading reading = readings.front();
        if (readings.size() > 1)
            readings.pop_front();
        return reading;
    }

    std::deque<TokenReading> readings{{true, "t1", ""}};
    bool hold = false;
    Done pending;
    int fetches = 0;
    int cancelled = 0;
};

// Keeps each batch until the test finishes it.
struct FakeWorker {
    struct Job {
        FrameBatch batch;
        ConversionWorker::Done done;
    };
    void convert(FrameBatch batch, ConversionWorker::Done done)
    {
        jobs.push_back({std::move(batch), std::move(done)});
    }
    // Writes the oldest batch: every frame's first line is acknowledged.
    void finish(int writeError = 0)
    {
        Job job = std::move(jobs.front());
        jobs.pop_front();
        BatchOutcome outcome;
        outcome.writeError = writeError;
        for (size_t index = 0; index < job.batch.size() && writeError == 0; ++index) {
            const FrameBatch::Frame frame = job.batch[index];
            outcome.acknowledgements.push_back(
                {frame.connection, std::string(frame.text.substr(0, frame.text.find('\n')))});
        }
        job.done(std::move(outcome));
    }

    std::deque<Job> jobs;
};

} // namespace session_testing
