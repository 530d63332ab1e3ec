// What a live session did beyond conversion, for the summary.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/consume/connection_phase.h"
#include "tools/consume/consume_metrics.h"

namespace consume {

using CountsByName = std::vector<std::pair<std::string, uint64_t>>; // in order of first appearance

// The counts the page also shows live in metrics, which the summary reads too, so both agree. Beside them,
// what only the summary shows. Network side: frames dropped unread or left unacknowledged, and how often
// each phase was entered (in Phase order); worker side: the output's reopens. Each side writes
// only its own fields; the summary reads them after both have stopped.
struct ConsumeTally {
    ConsumeMetrics metrics;
    uint64_t tooLarge = 0;
    uint64_t notAcknowledged = 0;
    std::array<uint64_t, phaseCount> phaseEntries{};
    uint64_t outputReopens = 0; // asked for (SIGHUP)
};

} // namespace consume
