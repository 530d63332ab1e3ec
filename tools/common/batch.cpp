#include "tools/common/batch.h"

#include "obclient/obclient.h"

namespace tools {

void Batch::sendThrough(CodecSession& codec)
{
    if (messages_.empty())
        return;
    codec.sendTowardsHost(messages_.data(), messages_.data() + messages_.size());
    release();
}

void Batch::release()
{
    for (vlm_message_t& message : messages_) {
        obclient_free_data(message.payload);
        vlm_free_map(message.metadata);
    }
    messages_.clear();
}

} // namespace tools
