// What one chunk of an input gives: the stderr lines written while it was read and
// converted, its events, and their counts. It is held until the chunk's turn comes in
// input order and then written whole, stderr lines first, each in one write, so that
// every number of workers writes the same, and a write per chunk rather than per batch.
#pragma once

#include <cstdint>
#include <string>

#include "host/vlm_abi.h"
#include "tools/common/output.h"
#include "tools/common/summary.h"

namespace replay {

struct ChunkOutput {
    std::string held;         // stderr lines
    tools::EventLines events; // output lines
    tools::Tally tally;       // read: the chunk's messages; the rest: its events
    uint64_t inputErrors = 0; // among the held lines

    // The batch function a codec is wired to towards the host; handle is the ChunkOutput.
    static int32_t receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end);
    // Renders and counts a batch that left the codec.
    void add(const vlm_message_t* start, const vlm_message_t* end);

    // Writes the stderr lines, then the events, and counts into tally the events that went
    // out. False, with nothing written, once an earlier write has failed.
    bool writeTo(tools::EventWriter& writer, tools::Tally& tally) const;
    // Empty again, keeping its buffers.
    void clear();
};

} // namespace replay
