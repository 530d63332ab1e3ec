// What a live session did beyond conversion, for the summary.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/consume/connection_phase.h"

namespace consume {

using CountsByName = std::vector<std::pair<std::string, uint64_t>>; // in order of first appearance

void countName(CountsByName& counts, const std::string& name);

// Network side: received, acknowledged, reconnects, frames dropped unread or left unacknowledged, and how
// often each phase was entered (in Phase order); worker side: skipped, frame errors and the output. Each
// side writes only its own fields; the summary reads them after both have stopped.
struct ConsumeTally {
    uint64_t received = 0;
    uint64_t acknowledged = 0;
    CountsByName reconnectsByCause;
    uint64_t tooLarge = 0;
    uint64_t notAcknowledged = 0;
    std::array<uint64_t, phaseCount> phaseEntries{};
    CountsByName skippedByAction;
    uint64_t frameErrors = 0;
    uint64_t outputWriteErrors = 0;
    uint64_t commits = 0; // waits until the output held a batch's events durably
    std::chrono::steady_clock::duration commitTime{};
    uint64_t outputReopens = 0; // asked for (SIGHUP)
};

} // namespace consume
