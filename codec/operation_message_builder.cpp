#include "codec/operation_message_builder.h"

#include "codec/codec_errors.h"
#include "codec/enumeration_text.h"
#include "codec/notification_keys.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

const EnumerationText<OperationStatus> statusTexts[] = {
    {OperationStatus::Successful, texts::operationSuccessful},
    {OperationStatus::Failed, texts::operationFailed},
    {OperationStatus::Executing, texts::operationExecuting},
    {OperationStatus::Pending, texts::operationPending},
};

} // namespace

OperationStatus parseOperationStatus(const char* text)
{
    return parseEnumeration(statusTexts, text, &errors::unrecognizedOperationStatus);
}

const cv::data_t& operationStatusName(OperationStatus status)
{
    return enumerationText(statusTexts, status);
}

OperationMessageBuilder::OperationMessageBuilder(MapEntry&& id, MapEntry&& source, MapEntry&& status)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::operation.value()))
{
    setField(keys::source, std::move(source));
    setField(keys::status, std::move(status));
}

namespace {

enum OperationField : std::size_t {
    Source,
    Status,
    DeviceId,
    CreationTime,
    FirstOccurrenceTime,
    LastUpdated
};

} // namespace

// Every check runs before anything is taken, in the order that decides which
// error a notification with several faults reports; building then cannot fail.
std::unique_ptr<OrbelMessageBuilder> createOperationBuilder(cv::Message& notification)
{
    static const cv::KeySet fieldKeys({&keys::source, &keys::status, &keys::deviceId, &keys::creationTime,
                                       &keys::firstOccurrenceTime, &keys::lastUpdated});
    NotificationFields fields(notification.getPayload(), fieldKeys);
    cv::data_t& source = fields.required(Source);
    parseOperationStatus(getStringFor(fields.required(Status), keys::status));
    cv::data_t& sourceId = sourceIdOf(source);
    requireString(keys::id, fields.required(DeviceId));
    requireString(keys::source, sourceId);

    MapEntry sourceField = fields.takeKeyFor(Source, std::move(sourceId));
    // A text that parsed equals its value's name exactly, so the notification's own string is kept.
    MapEntry statusField = fields.takePresent(Status);
    // The device's id becomes the event's "id"; its own key is not carried.
    MapEntry id(keys::id.value(), std::move(fields.takePresent(DeviceId).second));
    auto builder = std::make_unique<OperationMessageBuilder>(std::move(id), std::move(sourceField),
                                                             std::move(statusField));
    copyOptionalTimes(fields, {CreationTime, FirstOccurrenceTime, LastUpdated}, *builder);
    copyLeftovers(notification.getPayload(), *builder);
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
