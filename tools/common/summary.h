// What a run did, shown on stderr: a progress line while it runs (only when
// stderr is a terminal) and a summary at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tools {

struct Tally {
    uint64_t read = 0;          // messages read and handed to the codec
    uint64_t arrived = 0;       // messages that left the codec towards the host
    uint64_t passedThrough = 0; // of those, the ones without an event type
    std::vector<std::pair<std::string, uint64_t>> eventsByType; // in order of first appearance

    void countEvent(std::string_view type);
    uint64_t dropped() const { return read - arrived; }
};

// False when stderr did not take it.
bool printSummary(const Tally& tally, uint64_t inputErrors, std::chrono::steady_clock::duration elapsed);

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
