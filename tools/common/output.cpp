#include "tools/common/output.h"

#include <cstring>

#include "obclient/json_output.h"
#include "obclient/obclient.h"

namespace tools {

namespace {

constexpr const char* eventTypeKey = "vlm.type";
constexpr const char* channelKey = "vlm.channel";

// The text of a string value in the message's metadata; null when absent or not a string.
const char* metadataText(const vlm_message_t& message, const char* key)
{
    const vlm_data_t* value = obclient_map_find_string(message.metadata, key);
    const bool isText = value != nullptr &&
                        (value->tag == VLM_TAG_STRING || value->tag == VLM_TAG_BORROWED_STRING) &&
                        value->payload.borrowed != nullptr;
    return isText ? value->payload.borrowed : nullptr;
}

} // namespace

void EventWriter::setOutput(EventOutput& output)
{
    output_ = &output;
    lines_.keepIndex(output.needsEventIndex());
}

int32_t EventWriter::receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    static_cast<EventWriter*>(handle)->write(start, end);
    return 0;
}

void EventWriter::write(const vlm_message_t* start, const vlm_message_t* end)
{
    if (writeError() != 0)
        return;
    lines_.clear();
    lines_.add(start, end);
    if (!emit(lines_))
        return;
    for (const vlm_message_t* message = start; message != end; ++message)
        countArrived(tally_, *message);
}

bool EventWriter::emit(const EventLines& events)
{
    return writeError() == 0 && output_->write(events);
}

void EventLines::add(const vlm_message_t* start, const vlm_message_t* end)
{
    obclient::json::OutputCursor out(buffer_, obclient::json::OutputCursor::Overwrite());
    out.rewind(size_);
    for (const vlm_message_t* message = start; message != end; ++message) {
        const size_t lineStart = out.written();
        out.putLiteral("{\"metadata\":");
        obclient_append_json(out, obclient_map_value(message->metadata));
        out.putLiteral(",\"payload\":");
        obclient_append_json(out, message->payload);
        out.putLiteral("}");
        if (indexed_) {
            const char* channel = metadataText(*message, channelKey);
            const size_t channelLength = channel == nullptr ? 0 : std::strlen(channel);
            index_.push_back({lineStart, out.written() - lineStart, channels_.size(), channelLength});
            channels_.append(channel == nullptr ? "" : channel, channelLength);
        }
        out.putLiteral("\n");
    }
    size_ = out.written();
}

void EventLines::clear()
{
    size_ = 0;
    index_.clear();
    channels_.clear();
}

std::string_view EventLines::line(size_t event) const
{
    return std::string_view(buffer_.data() + index_[event].lineStart, index_[event].lineLength);
}

std::string_view EventLines::channel(size_t event) const
{
    return std::string_view(channels_.data() + index_[event].channelStart, index_[event].channelLength);
}

void countArrived(Tally& tally, const vlm_message_t& message)
{
    ++tally.arrived;
    const char* type = metadataText(message, eventTypeKey);
    if (type != nullptr)
        tally.countEvent(type);
    else
        ++tally.passedThrough;
}

} // namespace tools
