#include "codec/alarm_message_builder.h"

#include "codec/codec_errors.h"
#include "codec/enumeration_text.h"
#include "codec/notification_keys.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

const EnumerationText<AlarmSeverity> severityTexts[] = {
    {AlarmSeverity::Critical, texts::severityCritical},
    {AlarmSeverity::Major, texts::severityMajor},
    {AlarmSeverity::Minor, texts::severityMinor},
    {AlarmSeverity::Warning, texts::severityWarning},
};

const EnumerationText<AlarmStatus> statusTexts[] = {
    {AlarmStatus::Active, texts::alarmActive},
    {AlarmStatus::Acknowledged, texts::alarmAcknowledged},
    {AlarmStatus::Cleared, texts::alarmCleared},
};

} // namespace

AlarmSeverity parseAlarmSeverity(const char* text)
{
    return parseEnumeration(severityTexts, text, &errors::unrecognizedAlarmSeverity);
}

AlarmStatus parseAlarmStatus(const char* text)
{
    return parseEnumeration(statusTexts, text, &errors::unrecognizedAlarmStatus);
}

const cv::data_t& alarmSeverityName(AlarmSeverity severity)
{
    return enumerationText(severityTexts, severity);
}

const cv::data_t& alarmStatusName(AlarmStatus status)
{
    return enumerationText(statusTexts, status);
}

AlarmMessageBuilder::AlarmMessageBuilder(MapEntry&& id, MapEntry&& count, MapEntry&& severity,
                                         MapEntry&& source, MapEntry&& status, MapEntry&& text,
                                         MapEntry&& time, MapEntry&& type)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::alarm.value()))
{
    setField(keys::count, std::move(count));
    setField(keys::severity, std::move(severity));
    setField(keys::source, std::move(source));
    setField(keys::status, std::move(status));
    setField(keys::text, std::move(text));
    setField(keys::time, std::move(time));
    setField(keys::type, std::move(type));
}

namespace {

enum AlarmField : std::size_t {
    Source,
    Type,
    Time,
    Text,
    Status,
    Severity,
    Count,
    Id,
    CreationTime,
    FirstOccurrenceTime,
    LastUpdated,
};

} // namespace

// Every check runs before anything is taken, in the order that decides which
// error a notification with several faults reports ("text" and "type" are
// checked for strings only once every key has been found); building then cannot fail.
std::unique_ptr<OrbelMessageBuilder> createAlarmBuilder(cv::Message& notification)
{
    static const cv::KeySet fieldKeys({&keys::source, &keys::type, &keys::time, &keys::text, &keys::status,
                                       &keys::severity, &keys::count, &keys::id, &keys::creationTime,
                                       &keys::firstOccurrenceTime, &keys::lastUpdated});
    NotificationFields fields(notification.getPayload(), fieldKeys);
    cv::data_t& source = fields.required(Source);
    fields.required(Type);
    const double time = requiredTime(fields.required(Time));
    fields.required(Text);
    parseAlarmStatus(getStringFor(fields.required(Status), keys::status));
    cv::data_t& sourceId = sourceIdOf(source);
    parseAlarmSeverity(getStringFor(fields.required(Severity), keys::severity));
    getIntegerFor(fields.required(Count), keys::count);
    requireString(keys::id, fields.required(Id));
    // The alarm names the source's own key when its id is not a string.
    requireString(keys::id, sourceId);
    requireString(keys::text, fields.required(Text));
    requireString(keys::type, fields.required(Type));

    MapEntry sourceField = fields.takeKeyFor(Source, std::move(sourceId));
    MapEntry timeField = fields.takeKeyFor(Time, cv::data_t(time));
    // A text that parsed equals its value's name exactly, so the notification's own string is kept.
    auto builder = std::make_unique<AlarmMessageBuilder>(fields.takePresent(Id), fields.takePresent(Count),
                                                         fields.takePresent(Severity), std::move(sourceField),
                                                         fields.takePresent(Status), fields.takePresent(Text),
                                                         std::move(timeField), fields.takePresent(Type));
    copyOptionalTimes(fields, {CreationTime, FirstOccurrenceTime, LastUpdated}, *builder);
    copyLeftovers(notification.getPayload(), *builder);
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
