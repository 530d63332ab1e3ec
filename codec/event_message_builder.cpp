#include "codec/event_message_builder.h"

#include "codec/codec_errors.h"
#include "codec/notification_keys.h"

namespace com::velmora::connectivity::plugins::pulsar {

EventMessageBuilder::EventMessageBuilder(cv::data_t id, cv::data_t source, cv::data_t text, double time,
                                         cv::data_t type)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::event.value()))
{
    setStringField(keys::source, std::move(source));
    setStringField(keys::text, std::move(text));
    setField(keys::time, cv::data_t(time));
    setStringField(keys::type, std::move(type));
}

// The order of the steps decides which error a notification with several faults
// reports: "text" is taken before the source map is looked into.
std::unique_ptr<OrbelMessageBuilder> createEventBuilder(cv::Message& notification)
{
    cv::data_t& payload = notification.getPayload();
    cv::data_t source = takeRequired(payload, keys::source);
    cv::data_t type = takeRequired(payload, keys::type);
    const double time = takeRequiredTime(payload);
    cv::data_t text = takeRequired(payload, keys::text);
    cv::data_t sourceId = takeRequired(getMapFor(source, keys::source), keys::id, errors::sourceContext);
    cv::data_t id = takeRequired(payload, keys::id);

    auto builder = std::make_unique<EventMessageBuilder>(std::move(id), std::move(sourceId), std::move(text),
                                                         time, std::move(type));
    copyOptionalTimes({keys::creationTime, keys::firstOccurrenceTime, keys::lastUpdated}, payload, *builder);
    copyLeftovers(payload, *builder);
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
