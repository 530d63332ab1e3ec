#include "tools/consume/connection_phase.h"

#include "tools/consume/consume_texts.h"

namespace consume {

namespace {

constexpr std::array<const char*, phaseCount> phaseNames = {
    texts::phaseConnecting, texts::phaseOpen, texts::phaseBackoff, texts::phaseDraining, texts::phaseStopped,
};

} // namespace

const char* phaseName(Phase phase)
{
    return phaseNames[static_cast<size_t>(phase)];
}

bool phaseMayFollow(Phase from, Phase to)
{
    switch (to) {
    case Phase::Connecting:
        return from == Phase::Backoff;
    case Phase::Open:
        return from == Phase::Connecting;
    case Phase::Backoff:
        return from == Phase::Connecting || from == Phase::Open;
    case Phase::Draining:
        return from != Phase::Draining && from != Phase::Stopped;
    case Phase::Stopped:
        return from == Phase::Draining;
    }
    return false;
}

} // namespace consume
