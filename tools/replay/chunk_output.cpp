#include "tools/replay/chunk_output.h"

#include <cstdio>

namespace replay {

int32_t ChunkOutput::receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    static_cast<ChunkOutput*>(handle)->add(start, end);
    return 0;
}

void ChunkOutput::add(const vlm_message_t* start, const vlm_message_t* end)
{
    events.add(start, end);
    for (const vlm_message_t* message = start; message != end; ++message)
        tools::countArrived(tally, *message);
}

bool ChunkOutput::writeTo(tools::EventWriter& writer, tools::Tally& total) const
{
    if (writer.writeError() != 0)
        return false;
    std::fwrite(held.data(), 1, held.size(), stderr);
    if (writer.emit(events))
        total.add(tally);
    else
        total.read += tally.read;
    return true;
}

void ChunkOutput::clear()
{
    held.clear();
    events.clear();
    tally.clear();
    inputErrors = 0;
}

} // namespace replay
