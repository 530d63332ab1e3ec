// What a live session did beyond conversion, for the summary.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace consume {

using CountsByName = std::vector<std::pair<std::string, uint64_t>>; // in order of first appearance

void countName(CountsByName& counts, const std::string& name);

// Network side: received, acknowledged and reconnects; worker side: skipped and frame errors.
// Each side writes only its own fields; the summary reads them after both have stopped.
struct ConsumeTally {
    uint64_t received = 0;
    uint64_t acknowledged = 0;
    CountsByName reconnectsByCause;
    CountsByName skippedByAction;
    uint64_t frameErrors = 0;
};

} // namespace consume
