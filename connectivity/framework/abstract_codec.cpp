#include "connectivity/framework/abstract_codec.h"

#include <utility>

namespace com::velmora::connectivity10_15_4 {

// Members go in reverse order of declaration: transportSide, then hostSide, then the Plugin part.
AbstractCodec::~AbstractCodec() = default;

void AbstractCodec::setNextTowardsHost(std::unique_ptr<HostSide> next)
{
    hostSide = std::move(next);
}

void AbstractCodec::setNextTowardsTransport(std::unique_ptr<TransportSide> next)
{
    transportSide = std::move(next);
}

} // namespace com::velmora::connectivity10_15_4
