// The kinds of series the consumer exposes, each a few atomics that the worker and
// network threads update without a lock and a scrape or the summary reads at any time.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace consume {

// Only ever grows; relaxed, since no other memory is published through it.
class Counter {
public:
    void add(uint64_t count = 1) { value_.fetch_add(count, std::memory_order_relaxed); }
    uint64_t value() const { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> value_{0};
};

// A level that goes up and down, set by whoever holds the figure.
class Gauge {
public:
    void set(int64_t value) { value_.store(value, std::memory_order_relaxed); }
    void add(int64_t change) { value_.fetch_add(change, std::memory_order_relaxed); }
    int64_t value() const { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<int64_t> value_{0};
};

// A moment of the wall clock, as Prometheus wants it (seconds since the epoch); zero: never.
class Timestamp {
public:
    void set(std::chrono::system_clock::time_point when)
    {
        const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
        milliseconds_.store(since.count(), std::memory_order_relaxed);
    }
    double seconds() const
    {
        return static_cast<double>(milliseconds_.load(std::memory_order_relaxed)) / 1000;
    }

private:
    std::atomic<int64_t> milliseconds_{0};
};

// Counts by the text of one label (event type, action, cause), in order of first appearance.
// The texts come from the input, so their number is bounded: past the capacity, counts go to
// overflowLabel rather than being lost.
class LabelledCounter {
public:
    static constexpr size_t capacity = 64;
    static constexpr std::string_view overflowLabel = "(other)";

    explicit LabelledCounter(std::string labelName) : labelName_(std::move(labelName)) {}
    LabelledCounter(const LabelledCounter&) = delete;
    LabelledCounter& operator=(const LabelledCounter&) = delete;

    // Lock-free for a label seen before; the first sight of one takes a lock.
    void add(std::string_view label, uint64_t count = 1);
    // The labels so far with their counts.
    std::vector<std::pair<std::string, uint64_t>> values() const;
    uint64_t total() const;
    const std::string& labelName() const { return labelName_; }

private:
    struct Slot {
        std::string label; // written before the slot is published, never after
        std::atomic<uint64_t> count{0};
    };

    Slot* find(std::string_view label, size_t published);
    Slot& insert(std::string_view label);

    std::string labelName_;
    std::array<Slot, capacity> slots_;
    std::atomic<size_t> published_{0};
    std::mutex inserting_;
};

// Durations in fixed buckets. The count is the buckets' sum, so a scrape never shows a
// count that its buckets disagree with.
class Histogram {
public:
    // Upper bounds in seconds, from a tenth of a millisecond (a small batch) to ten seconds (a disk
    // that stalls); past the last one a duration falls in +Inf.
    static constexpr std::array<double, 16> bounds = {
        0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

    void observe(std::chrono::nanoseconds duration);

    struct Reading {
        std::array<uint64_t, bounds.size() + 1> cumulative{}; // the last is +Inf, the count
        double sumSeconds = 0;
    };
    Reading read() const;

private:
    std::array<std::atomic<uint64_t>, bounds.size() + 1> buckets_{};
    std::atomic<uint64_t> sumNanoseconds_{0};
};

} // namespace consume
