#include "tools/common/summary.h"

#include <cstdio>

#include "tools/common/log_text.h"

namespace tools {

namespace {

using Clock = std::chrono::steady_clock;

// A short run finishes before any progress line would help.
constexpr Clock::duration firstProgressAfter = std::chrono::milliseconds(500);
constexpr Clock::duration progressInterval = std::chrono::milliseconds(250);

unsigned long long wide(uint64_t count)
{
    return static_cast<unsigned long long>(count);
}

} // namespace

void NamedCounts::add(std::string_view name, uint64_t count)
{
    const auto known = countOf_.find(name);
    if (known != countOf_.end()) {
        *known->second += count;
        return;
    }
    auto& [text, counted] = entries_.emplace_back(std::string(name), count);
    countOf_.emplace(text, &counted);
}

void NamedCounts::add(const NamedCounts& later)
{
    for (const auto& [name, count] : later)
        add(name, count);
}

void NamedCounts::clear()
{
    entries_.clear();
    countOf_.clear();
}

uint64_t NamedCounts::total() const
{
    uint64_t total = 0;
    for (const auto& entry : entries_)
        total += entry.second;
    return total;
}

void Tally::add(const Tally& later)
{
    read += later.read;
    arrived += later.arrived;
    passedThrough += later.passedThrough;
    eventsByType.add(later.eventsByType);
    skippedByAction.add(later.skippedByAction);
}

void Tally::clear()
{
    read = 0;
    arrived = 0;
    passedThrough = 0;
    eventsByType.clear();
    skippedByAction.clear();
}

bool printSummaryLine(const std::string& label, uint64_t count)
{
    return std::fprintf(stderr, "%-34s%10llu\n", label.c_str(), wide(count)) > 0;
}

bool printConversionLines(const Tally& tally)
{
    bool written = printSummaryLine("events out", tally.arrived - tally.passedThrough);
    for (const auto& [type, count] : tally.eventsByType)
        written = printSummaryLine("  " + escapedForLog(type), count) && written;
    written = printSummaryLine("passed through", tally.passedThrough) && written;
    return printSummaryLine("dropped", tally.dropped()) && written;
}

bool printCountsByName(const std::string& label, const NamedCounts& counts)
{
    bool written = printSummaryLine(label, counts.total());
    for (const auto& [name, count] : counts)
        written = printSummaryLine("  " + name, count) && written;
    return written;
}

bool printElapsed(Clock::duration elapsed, uint64_t count, const char* unit)
{
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return std::fprintf(stderr, "%-34s%10.3f s (%.0f %s/s)\n", "elapsed", seconds,
                        seconds > 0 ? static_cast<double>(count) / seconds : 0.0, unit) > 0;
}

bool printSummary(const Tally& tally, uint64_t inputErrors, Clock::duration elapsed, bool withSkipped)
{
    bool written = printSummaryLine("messages read", tally.read);
    if (withSkipped)
        written = printCountsByName("skipped by action", tally.skippedByAction) && written;
    written = printConversionLines(tally) && written;
    written = printSummaryLine("input errors", inputErrors) && written;
    written = printElapsed(elapsed, tally.read, "messages") && written;
    return std::fflush(stderr) == 0 && written;
}

void Progress::update(const Tally& tally)
{
    if (!enabled_)
        return;
    const Clock::time_point now = Clock::now();
    if (now - started_ < firstProgressAfter || now - lastShown_ < progressInterval)
        return;
    lastShown_ = now;
    shown_ = true;
    // The cursor goes back to the line's start, so that a log line or error written next replaces it.
    std::fprintf(stderr, "%llu messages read, %llu out, %llu dropped\033[K\r", wide(tally.read),
                 wide(tally.arrived), wide(tally.dropped()));
}

void Progress::finish()
{
    if (shown_)
        std::fputs("\033[K", stderr);
}

} // namespace tools
