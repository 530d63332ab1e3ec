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

OperationMessageBuilder::OperationMessageBuilder(cv::data_t id, cv::data_t source, OperationStatus status)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::operation.value()))
{
    setStringField(keys::source, std::move(source));
    setField(keys::status, cv::data_t(operationStatusName(status)));
}

// The order of the steps decides which error a notification with several faults reports.
std::unique_ptr<OrbelMessageBuilder> createOperationBuilder(cv::Message& notification)
{
    cv::data_t& payload = notification.getPayload();
    cv::data_t source = takeRequired(payload, keys::source);
    const OperationStatus status =
        parseOperationStatus(getStringFor(takeRequired(payload, keys::status), keys::status));
    cv::data_t sourceId = takeRequired(getMapFor(source, keys::source), keys::id, errors::sourceContext);
    cv::data_t deviceId = takeRequired(payload, keys::deviceId);

    auto builder =
        std::make_unique<OperationMessageBuilder>(std::move(deviceId), std::move(sourceId), status);
    copyOptionalTimes({keys::creationTime, keys::firstOccurrenceTime, keys::lastUpdated}, payload, *builder);
    copyLeftovers(payload, *builder);
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
