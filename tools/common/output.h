// The host's end of the chain: every message that leaves the codec towards the
// host becomes one JSON line, {"metadata":{...},"payload":...}, written by the
// host's own JSON writer, so every kind shows as the host renders it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/vlm_abi.h"
#include "tools/common/event_output.h"
#include "tools/common/summary.h"

namespace tools {

// Renders batches of messages as output lines into a buffer kept from batch to batch,
// so the buffer is zero-filled only when it grows past its largest size yet.
class EventLines {
public:
    // With an index, each event's line and channel can be read on their own as well.
    void keepIndex(bool kept) { indexed_ = kept; }

    // Adds the lines of the messages from start to end to those held.
    void add(const vlm_message_t* start, const vlm_message_t* end);
    // The lines held, each ending in "\n"; valid until the next change.
    std::string_view text() const { return std::string_view(buffer_.data(), size_); }
    void clear();

    // Only with an index: the number of events, and each one's line without its "\n", and its
    // metadata "vlm.channel" (empty for a message passed through without one).
    size_t count() const { return index_.size(); }
    std::string_view line(size_t event) const;
    std::string_view channel(size_t event) const;

private:
    struct Entry {
        size_t lineStart;
        size_t lineLength;
        size_t channelStart;
        size_t channelLength;
    };

    std::string buffer_;
    size_t size_ = 0;
    bool indexed_ = false;
    std::vector<Entry> index_;
    std::string channels_;
};

// Counts a message that left the codec: an event by its type, or passed through.
void countArrived(Tally& tally, const vlm_message_t& message);

// Writes each batch as it arrives and counts only what was written; after the
// first failed write it writes and counts nothing more.
class EventWriter {
public:
    explicit EventWriter(Tally& tally) : tally_(tally) {}
    // Set before the first batch arrives: the output is opened only once the codec exists.
    void setOutput(EventOutput& output);

    // The batch function the codec is wired to towards the host; handle is the writer.
    // The messages stay the host's: they are only read here.
    static int32_t receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end);

    // Writes lines rendered elsewhere; false when this or an earlier write failed.
    bool emit(const EventLines& events);

    // errno of the first failed write, 0 when all went out.
    int writeError() const { return output_ == nullptr ? 0 : output_->failure(); }

private:
    void write(const vlm_message_t* start, const vlm_message_t* end);

    EventOutput* output_ = nullptr;
    Tally& tally_;
    EventLines lines_;
};

} // namespace tools
