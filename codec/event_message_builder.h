// Event notifications become "com.orbel.tessaro.Event" events.
#pragma once

#include <memory>

#include "codec/orbel_message_builder.h"

namespace com::velmora::connectivity::plugins::pulsar {

class EventMessageBuilder : public OrbelMessageBuilder {
public:
    // Fields in the order the event payload is filled, each with the key it had in the notification.
    EventMessageBuilder(MapEntry&& id, MapEntry&& source, MapEntry&& text, MapEntry&& time, MapEntry&& type);
};

std::unique_ptr<OrbelMessageBuilder> createEventBuilder(cv::Message& notification);

} // namespace com::velmora::connectivity::plugins::pulsar
