// The channel an event leaves on, as an output that routes by channel reads it.
#pragma once

#include <string_view>

#include "host/vlm_abi.h"

namespace tools {

// The text of the message's metadata "vlm.channel"; empty when it has none, as a message
// passed through unconverted does, or when the entry is not text. Valid while the message lives.
std::string_view eventChannel(const vlm_message_t& message);

} // namespace tools
