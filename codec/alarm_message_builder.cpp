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

AlarmMessageBuilder::AlarmMessageBuilder(cv::data_t id, std::int64_t count, AlarmSeverity severity,
                                         cv::data_t source, AlarmStatus status, cv::data_t text, double time,
                                         cv::data_t type)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::alarm.value()))
{
    setField(keys::count, cv::data_t(count));
    setField(keys::severity, cv::data_t(alarmSeverityName(severity)));
    // The alarm names the source's own key when its id is not a string.
    requireString(keys::id, source);
    setField(keys::source, std::move(source));
    setField(keys::status, cv::data_t(alarmStatusName(status)));
    setStringField(keys::text, std::move(text));
    setField(keys::time, cv::data_t(time));
    setStringField(keys::type, std::move(type));
}

// The order of the steps decides which error a notification with several faults
// reports; "text" and "type" are only checked once every key has been taken.
std::unique_ptr<OrbelMessageBuilder> createAlarmBuilder(cv::Message& notification)
{
    cv::data_t& payload = notification.getPayload();
    cv::data_t source = takeRequired(payload, keys::source);
    cv::data_t type = takeRequired(payload, keys::type);
    const double time = takeRequiredTime(payload);
    cv::data_t text = takeRequired(payload, keys::text);
    const AlarmStatus status =
        parseAlarmStatus(getStringFor(takeRequired(payload, keys::status), keys::status));
    cv::data_t sourceId = takeRequired(getMapFor(source, keys::source), keys::id, errors::sourceContext);
    const AlarmSeverity severity =
        parseAlarmSeverity(getStringFor(takeRequired(payload, keys::severity), keys::severity));
    const std::int64_t count = getIntegerFor(takeRequired(payload, keys::count), keys::count);
    cv::data_t id = takeRequired(payload, keys::id);

    auto builder = std::make_unique<AlarmMessageBuilder>(std::move(id), count, severity, std::move(sourceId),
                                                         status, std::move(text), time, std::move(type));
    copyOptionalTimes({keys::creationTime, keys::firstOccurrenceTime, keys::lastUpdated}, payload, *builder);
    copyLeftovers(payload, *builder);
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
