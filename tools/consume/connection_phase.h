// The phases of the consumer's connection to the service. One connection at a time;
// the phase says what the consumer waits for:
//   Connecting  a token, then the upgrade
//   Open        frames; acknowledgements go out
//   Backoff     the reconnect timer, after a connection ended
//   Draining    a stop was asked for: the worker finishing, acknowledgements going out, the close
//   Stopped     nothing; the loop ends
#pragma once

#include <array>
#include <cstddef>

namespace consume {

enum class Phase { Connecting, Open, Backoff, Draining, Stopped };

constexpr size_t phaseCount = 5;

// The phase's name in the log and the summary.
const char* phaseName(Phase phase);

// Whether the consumer may go from one phase to the other; anything else is a fault in its logic.
bool phaseMayFollow(Phase from, Phase to);

} // namespace consume
