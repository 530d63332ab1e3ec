#include "tools/common/event_channel.h"

#include "obclient/obclient.h"

namespace tools {

namespace {

constexpr const char* channelKey = "vlm.channel";

} // namespace

std::string_view eventChannel(const vlm_message_t& message)
{
    if (message.metadata == nullptr)
        return {};
    const vlm_data_t* channel = obclient_map_find_string(message.metadata, channelKey);
    if (channel == nullptr)
        return {};
    if (channel->tag == VLM_TAG_STRING)
        return channel->payload.string;
    if (channel->tag == VLM_TAG_BORROWED_STRING)
        return channel->payload.borrowed;
    return {};
}

} // namespace tools
