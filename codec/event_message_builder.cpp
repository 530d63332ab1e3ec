#include "codec/event_message_builder.h"

#include "codec/codec_errors.h"
#include "codec/notification_keys.h"

namespace com::velmora::connectivity::plugins::pulsar {

EventMessageBuilder::EventMessageBuilder(MapEntry&& id, MapEntry&& source, MapEntry&& text, MapEntry&& time,
                                         MapEntry&& type)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::event.value()))
{
    setField(keys::source, std::move(source));
    setField(keys::text, std::move(text));
    setField(keys::time, std::move(time));
    setField(keys::type, std::move(type));
}

namespace {

enum EventField : std::size_t {
    Source,
    Type,
    Time,
    Text,
    Id,
    CreationTime,
    FirstOccurrenceTime,
    LastUpdated
};

} // namespace

// Every check runs before anything is taken, in the order that decides which
// error a notification with several faults reports: "text" must be present
// before the source map is looked into. Building then cannot fail.
std::unique_ptr<OrbelMessageBuilder> createEventBuilder(cv::Message& notification)
{
    static const cv::KeySet fieldKeys({&keys::source, &keys::type, &keys::time, &keys::text, &keys::id,
                                       &keys::creationTime, &keys::firstOccurrenceTime, &keys::lastUpdated});
    NotificationFields fields(notification.getPayload(), fieldKeys);
    cv::data_t& source = fields.required(Source);
    fields.required(Type);
    const double time = requiredTime(fields.required(Time));
    fields.required(Text);
    cv::data_t& sourceId = sourceIdOf(source);
    requireString(keys::id, fields.required(Id));
    requireString(keys::source, sourceId);
    requireString(keys::text, fields.required(Text));
    requireString(keys::type, fields.required(Type));

    MapEntry sourceField = fields.takeKeyFor(Source, std::move(sourceId));
    MapEntry timeField = fields.takeKeyFor(Time, cv::data_t(time));
    auto builder = std::make_unique<EventMessageBuilder>(fields.takePresent(Id), std::move(sourceField),
                                                         fields.takePresent(Text), std::move(timeField),
                                                         fields.takePresent(Type));
    copyOptionalTimes(fields, {CreationTime, FirstOccurrenceTime, LastUpdated}, *builder);
    copyLeftovers(notification.getPayload(), *builder);
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
