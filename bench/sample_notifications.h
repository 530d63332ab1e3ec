// One realistic notification of each kind, in the replay tool's input form and
// shaped like those that generate_notifications.py writes.
#pragma once

#include <array>

#include "host/vlm_abi.h"

namespace bench {

struct SampleNotification {
    const char* name;
    const char* eventType; // what the codec must write to "vlm.type"
    const char* json;      // {"metadata":{"pulsarPath":...},"payload":{...}}
};

extern const std::array<SampleNotification, 5> sampleNotifications;

// The message the host builds from the sample, owned by the caller. Throws
// std::runtime_error when the text is not a message.
vlm_message_t readSampleMessage(const SampleNotification& sample);

} // namespace bench
