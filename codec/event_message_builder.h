// Event notifications become "com.orbel.tessaro.Event" events.
#pragma once

#include <memory>

#include "codec/orbel_message_builder.h"

namespace com::velmora::connectivity::plugins::pulsar {

class EventMessageBuilder : public OrbelMessageBuilder {
public:
    // Arguments in the order the event payload is filled.
    EventMessageBuilder(cv::data_t id, cv::data_t source, cv::data_t text, double time, cv::data_t type);
};

std::unique_ptr<OrbelMessageBuilder> createEventBuilder(cv::Message& notification);

} // namespace com::velmora::connectivity::plugins::pulsar
