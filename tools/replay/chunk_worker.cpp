#include "tools/replay/chunk_worker.h"

#include <memory>
#include <utility>

#include "tools/replay/held_stderr.h"
#include "tools/replay/input.h"

namespace replay {

bool ChunkWorker::open(vlm_data_t& config, std::string& reason)
{
    return session_.open(options_, config, &output_, &receiveBatch, reason);
}

int32_t ChunkWorker::receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    return ChunkOutput::receiveBatch(*static_cast<ChunkOutput**>(handle), start, end);
}

void ChunkWorker::convert(Chunk& chunk)
{
    InputSource source;
    source.openChunk(chunk.name, std::move(chunk.text), std::move(chunk.skipped), chunk.linesBefore,
                     options_.maxRecordBytes, tools::ReadLimits{options_.maxObjectEntries});
    InputErrors errors;
    const ActionFilter filter{options_.actions, chunk.output.tally.skippedByAction};
    const std::unique_ptr<MessageReader> reader = openMessageReader(options_.format, source, errors, &filter);
    output_ = &chunk.output;
    HeldStderr hold(output_->held);
    vlm_message_t message{};
    while (reader->next(message)) {
        ++output_->tally.read;
        batch_.add(message);
        if (batch_.full())
            batch_.sendThrough(session_);
    }
    batch_.sendThrough(session_);
    output_->inputErrors = errors.count();
    output_ = nullptr;
}

} // namespace replay
