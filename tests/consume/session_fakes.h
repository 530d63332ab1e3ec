// Hand-driven stand-ins for what ServiceSession talks to: a loop whose clock moves
// only when the test says, connections that record what they were asked, a token
// source and a worker that answer at once.
#pragma once

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <utility>
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
            made.push_back(std::make_shared<FakeConnection>());
            made.back()->id = id;
            made.back()->createdAt = loop.now();
            return made.back();
        };
    }
    FakeConnection& last() { return *made.back(); }

    std::vector<std::shared_ptr<FakeConnection>> made;
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

// Keeps each group until the test finishes it, then acknowledges every frame's first line.
struct FakeWorker {
    struct Job {
        FrameBatch batch;
        ConversionWorker::Done done;
    };
    void convert(FrameBatch batch, ConversionWorker::Done done)
    {
        jobs.push_back({std::move(batch), std::move(done)});
    }
    void finish()
    {
        Job job = std::move(jobs.front());
        jobs.pop_front();
        BatchOutcome outcome;
        for (size_t index = 0; index < job.batch.size(); ++index)
            outcome.acknowledgements.push_back(
                {job.batch[index].connection, identifier(job.batch[index].text)});
        job.done(std::move(outcome));
    }
    static std::string identifier(std::string_view frame)
    {
        return std::string(frame.substr(0, frame.find('\n')));
    }

    std::deque<Job> jobs;
};

} // namespace session_testing
