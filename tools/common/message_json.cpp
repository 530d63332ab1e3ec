#include "tools/common/message_json.h"

#include "tools/common/json_value.h"
#include "tools/common/texts.h"

namespace tools {

namespace {

constexpr uint64_t metadataCapacity = 8;

} // namespace

bool readMessage(const simdjson::dom::element& json, vlm_message_t& message, std::string& reason,
                 const ReadLimits& limits)
{
    simdjson::dom::object fields;
    if (json.get_object().get(fields)) {
        reason = texts::notMessageObject;
        return false;
    }
    HostValue metadata;
    HostValue payload;
    bool hasPayload = false;
    for (simdjson::dom::key_value_pair field : fields) {
        // A second "metadata" or "payload" would silently replace the first: refused like any duplicate.
        if (field.key == "payload" && !hasPayload) {
            if (!buildHostValue(field.value, payload, reason, limits))
                return false;
            hasPayload = true;
        } else if (field.key == "metadata" && metadata.get().tag == VLM_TAG_EMPTY) {
            if (!buildHostValue(field.value, metadata, reason, limits))
                return false;
            if (metadata.get().tag != VLM_TAG_MAP) {
                reason = texts::metadataNotObject;
                return false;
            }
        } else if (field.key == "payload" || field.key == "metadata") {
            reason = texts::duplicateKey + ('"' + std::string(field.key) + '"');
            return false;
        } else {
            reason = texts::unexpectedMessageKey + ('"' + std::string(field.key) + '"');
            return false;
        }
    }
    if (!hasPayload) {
        reason = texts::missingPayload;
        return false;
    }
    message.payload = payload.release();
    message.metadata = metadata.get().tag == VLM_TAG_MAP ? metadata.release().payload.map
                                                         : obclient_map_new(metadataCapacity);
    return true;
}

} // namespace tools
