// What a run did, shown on stderr: a progress line while it runs (only when
// stderr is a terminal) and a summary at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tools {

// Counts by a name the input brings (an event type, an action), in order of first appearance.
class NamedCounts {
public:
    using Entries =
        std::deque<std::pair<std::string, uint64_t>>; // a deque: the texts stay where the index points

    NamedCounts() = default;
    NamedCounts(const NamedCounts&) = delete;
    NamedCounts& operator=(const NamedCounts&) = delete;

    // Constant time, however many names a crafted input brings.
    void add(std::string_view name, uint64_t count = 1);
    // Adds later counts: names new here go last, as if counted here.
    void add(const NamedCounts& later);
    void clear();

    Entries::const_iterator begin() const { return entries_.begin(); }
    Entries::const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size(); }
    uint64_t total() const;

private:
    Entries entries_;
    std::unordered_map<std::string_view, uint64_t*> countOf_; // views of the texts in entries_
};

struct Tally {
    uint64_t read = 0;          // messages read and handed to the codec
    uint64_t arrived = 0;       // messages that left the codec towards the host
    uint64_t passedThrough = 0; // of those, the ones without an event type
    NamedCounts eventsByType;
    NamedCounts skippedByAction; // frames not handed to the codec, their action not asked for

    void countEvent(std::string_view type, uint64_t count = 1) { eventsByType.add(type, count); }
    // Adds a later part of the run.
    void add(const Tally& later);
    // Back to nothing counted.
    void clear();
    uint64_t dropped() const { return read - arrived; }
};

// False when stderr did not take it. withSkipped: frames were read, so the frames skipped by action
// are shown, as the live consumer shows them.
bool printSummary(const Tally& tally, uint64_t inputErrors, std::chrono::steady_clock::duration elapsed,
                  bool withSkipped = false);

// The pieces of a summary, for a tool that adds lines of its own.
bool printSummaryLine(const std::string& label, uint64_t count);
// Events out by type, passed through, dropped.
bool printConversionLines(const Tally& tally);
// A total, then its parts, indented.
bool printCountsByName(const std::string& label, const NamedCounts& counts);
bool printElapsed(std::chrono::steady_clock::duration elapsed, uint64_t count, const char* unit);

class Progress {
public:
    explicit Progress(bool enabled) : enabled_(enabled), started_(std::chrono::steady_clock::now()) {}
    // Cheap when called often: the line is redrawn a few times a second at most.
    void update(const Tally& tally);
    // Clears the line, so that the summary starts on a clean one.
    void finish();

private:
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastShown_{};
};

} // namespace tools
