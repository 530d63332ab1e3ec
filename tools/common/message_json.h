// A message record from its JSONL form, the same form the tool writes:
// {"metadata":{...},"payload":...}. "metadata" may be left out (no entries);
// "payload" must be there, null standing for the empty payload.
#pragma once

#include <simdjson.h>

#include <string>

#include "host/vlm_abi.h"
#include "tools/common/json_value.h"

namespace tools {

// On success the caller owns the message's values; on failure nothing stays allocated.
bool readMessage(const simdjson::dom::element& json, vlm_message_t& message, std::string& reason,
                 const ReadLimits& limits = {});

} // namespace tools
