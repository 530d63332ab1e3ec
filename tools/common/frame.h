// Websocket notification frames, as the platform's consumer delivers them: header
// lines (the acknowledgement identifier, the notification's path, the action, then
// any the service adds, which are ignored), a blank line, then the JSON body. The path becomes metadata
// "pulsarPath" exactly as received, and the body the payload.
#pragma once

#include <simdjson.h>

#include <cstddef>
#include <string>
#include <vector>

#include "host/vlm_abi.h"
#include "tools/common/frame_text.h"
#include "tools/common/json_value.h"

namespace tools {

// Where a frame that cannot be read is at fault.
enum class FramePart { Header, Path, Body };

class FrameConverter {
public:
    // On success the caller owns the message's values; on failure nothing stays allocated, and fault and
    // reason say what is wrong. cutShort: the input ended inside the body on a line without a line end.
    bool toMessage(const std::vector<std::string>& header, const std::string& body, bool cutShort,
                   vlm_message_t& message, FramePart& fault, std::string& reason,
                   const ReadLimits& limits = {});

private:
    simdjson::dom::parser parser_;
    std::string widened_; // a body whose integers beyond 64 bits were given a fraction
};

} // namespace tools
