#include "tools/consume/metric_types.h"

#include <algorithm>

namespace consume {

void LabelledCounter::add(std::string_view label, uint64_t count)
{
    Slot* slot = find(label, published_.load(std::memory_order_acquire));
    if (slot == nullptr)
        slot = &insert(label);
    slot->count.fetch_add(count, std::memory_order_relaxed);
}

LabelledCounter::Slot* LabelledCounter::find(std::string_view label, size_t published)
{
    for (size_t i = 0; i < published; ++i) {
        if (slots_[i].label == label)
            return &slots_[i];
    }
    return nullptr;
}

LabelledCounter::Slot& LabelledCounter::insert(std::string_view label)
{
    const std::lock_guard<std::mutex> lock(inserting_);
    const size_t published = published_.load(std::memory_order_relaxed);
    if (Slot* raced = find(label, published))
        return *raced;
    // The last slot is kept for the overflow label, so that it always has one.
    if (published >= capacity - 1 || label == overflowLabel) {
        if (Slot* overflow = find(overflowLabel, published))
            return *overflow;
        label = overflowLabel;
    }
    Slot& slot = slots_[published];
    slot.label.assign(label);
    published_.store(published + 1, std::memory_order_release);
    return slot;
}

std::vector<std::pair<std::string, uint64_t>> LabelledCounter::values() const
{
    const size_t published = published_.load(std::memory_order_acquire);
    std::vector<std::pair<std::string, uint64_t>> values;
    values.reserve(published);
    for (size_t i = 0; i < published; ++i)
        values.emplace_back(slots_[i].label, slots_[i].count.load(std::memory_order_relaxed));
    return values;
}

uint64_t LabelledCounter::total() const
{
    uint64_t total = 0;
    for (const auto& entry : values())
        total += entry.second;
    return total;
}

void Histogram::observe(std::chrono::nanoseconds duration)
{
    const double seconds = std::chrono::duration<double>(duration).count();
    const size_t bucket =
        static_cast<size_t>(std::lower_bound(bounds.begin(), bounds.end(), seconds) - bounds.begin());
    buckets_[bucket].fetch_add(1, std::memory_order_relaxed);
    sumNanoseconds_.fetch_add(static_cast<uint64_t>(std::max<int64_t>(duration.count(), 0)),
                              std::memory_order_relaxed);
}

Histogram::Reading Histogram::read() const
{
    Reading reading;
    uint64_t running = 0;
    for (size_t i = 0; i < buckets_.size(); ++i) {
        running += buckets_[i].load(std::memory_order_relaxed);
        reading.cumulative[i] = running;
    }
    reading.sumSeconds = static_cast<double>(sumNanoseconds_.load(std::memory_order_relaxed)) / 1e9;
    return reading;
}

} // namespace consume
