// What the consumer's logic needs from the event loop it runs on: time, timers, work
// handed in from other threads, and an end. The socket side provides it on Asio; the
// unit tests on a clock they move by hand.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace consume {

using Milliseconds = std::chrono::milliseconds;

class Timer {
public:
    virtual ~Timer() = default;
    // Replaces any earlier start: only the latest one fires, on the loop's thread.
    virtual void start(Milliseconds delay, std::function<void()> fired) = 0;
    // After this, nothing started before fires.
    virtual void cancel() = 0;
};

class EventLoop {
public:
    virtual ~EventLoop() = default;
    virtual std::chrono::steady_clock::time_point now() const = 0;
    virtual std::unique_ptr<Timer> timer() = 0;
    // May be called from any thread; work runs on the loop's thread.
    virtual void post(std::function<void()> work) = 0;
    // Ends the loop: run() returns.
    virtual void stop() = 0;
};

} // namespace consume
