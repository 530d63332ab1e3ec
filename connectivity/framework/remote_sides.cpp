#include "connectivity/framework/plugin.h"

namespace com::velmora::connectivity10_15_4 {

// The host's status is of no use here: a failing neighbour has logged for itself.
void RemoteHostSide::sendBatchTowardsHost(Message* start, Message* end)
{
    nextSendBatch(nextHandle, reinterpret_cast<vlm_message_t*>(start), reinterpret_cast<vlm_message_t*>(end));
}

void RemoteTransportSide::sendBatchTowardsTransport(Message* start, Message* end)
{
    nextSendBatch(nextHandle, reinterpret_cast<vlm_message_t*>(start), reinterpret_cast<vlm_message_t*>(end));
}

} // namespace com::velmora::connectivity10_15_4
