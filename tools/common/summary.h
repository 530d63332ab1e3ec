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

struct Tally {
    Tally() = default;
    Tally(const Tally&) = delete; // the index points into this tally's own texts
    Tally& operator=(const Tally&) = delete;

    uint64_t read = 0;          // messages read and handed to the codec
    uint64_t arrived = 0;       // messages that left the codec towards the host
    uint64_t passedThrough = 0; // of those, the ones without an event type
    // In order of first appearance; a deque, so the texts stay where the index points.
    std::deque<std::pair<std::string, uint64_t>> eventsByType;

    // Constant time per event, however many types a crafted input brings.
    void countEvent(std::string_view type, uint64_t count = 1);
    // Adds a later part of the run: event types new here go last, as if counted here.
    void add(const Tally& later);
    // Back to nothing counted.
    void clear();
    uint64_t dropped() const { return read - arrived; }

private:
    std::unordered_map<std::string_view, uint64_t*> countOf_; // views of the texts in eventsByType
};

// False when stderr did not take it.
bool printSummary(const Tally& tally, uint64_t inputErrors, std::chrono::steady_clock::duration elapsed);

// The pieces of a summary, for a tool that adds lines of its own.
bool printSummaryLine(const std::string& label, uint64_t count);
// Events out by type, passed through, dropped.
bool printConversionLines(const Tally& tally);
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
