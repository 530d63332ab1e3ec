#include "tools/replay/chunk_worker.h"

#include <memory>
#include <utility>

#include "tools/common/output.h"
#include "tools/replay/held_stderr.h"
#include "tools/replay/input.h"

namespace replay {

bool ChunkWorker::open(vlm_data_t& config, std::string& reason)
{
    return session_.open(options_, config, this, &ChunkWorker::receiveBatch, reason);
}

void ChunkWorker::convert(Chunk& chunk)
{
    InputSource source;
    source.openChunk(chunk.name, std::move(chunk.text), std::move(chunk.skipped), chunk.linesBefore,
                     options_.maxRecordBytes, tools::ReadLimits{options_.maxObjectEntries});
    InputErrors errors;
    const std::unique_ptr<MessageReader> reader = openMessageReader(options_.format, source, errors);
    part_ = &chunk.parts.emplace_back();
    HeldStderr hold(part_->held);
    uint64_t errorsCounted = 0;
    const auto sendBatch = [&] {
        batch_.sendThrough(session_);
        part_->inputErrors = errors.count() - errorsCounted;
        errorsCounted = errors.count();
    };
    vlm_message_t message{};
    while (reader->next(message)) {
        ++part_->tally.read;
        batch_.add(message);
        if (batch_.full()) {
            sendBatch();
            part_ = &chunk.parts.emplace_back();
            hold.redirect(part_->held);
        }
    }
    sendBatch();
    part_ = nullptr;
}

int32_t ChunkWorker::receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    ChunkWorker& worker = *static_cast<ChunkWorker*>(handle);
    Chunk::Part& part = *worker.part_;
    part.events.append(worker.lines_.render(start, end));
    for (const vlm_message_t* message = start; message != end; ++message)
        tools::countArrived(part.tally, *message);
    return 0;
}

} // namespace replay
