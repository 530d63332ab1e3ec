// The codec's work on each message towards the host: the Pulsar path picks the
// builder, the builder turns the notification into the event, and a failure
// leaves an error stub that names the notification in the drop report.
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "codec/alarm_message_builder.h"
#include "codec/codec_errors.h"
#include "codec/event_message_builder.h"
#include "codec/managed_object_builder.h"
#include "codec/measurement_message_builder.h"
#include "codec/notification_keys.h"
#include "codec/operation_message_builder.h"
#include "codec/tessaro_notifications2_codec.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

struct NotificationKind {
    const char* keyword;
    std::unique_ptr<OrbelMessageBuilder> (*createBuilder)(cv::Message&);
};

constexpr const char* measurementsKeyword = "measurements";

// Only the keyword's own length is compared: "alarmsX" is an alarm, "measurements2" a measurement.
const NotificationKind notificationKinds[] = {
    {"alarms", &createAlarmBuilder},
    {"events", &createEventBuilder},
    {measurementsKeyword, &createMeasurementBuilder},
    {"managedobjects", &createManagedObjectBuilder},
    {"operations", &createOperationBuilder},
};

bool startsWith(const char* text, const char* keyword)
{
    return std::strncmp(text, keyword, std::strlen(keyword)) == 0;
}

// The builder of the kind named at the start of the path's tail.
std::unique_ptr<OrbelMessageBuilder> createBuilderFor(const char* tail, cv::Message& notification)
{
    for (const NotificationKind& kind : notificationKinds) {
        if (startsWith(tail, kind.keyword))
            return kind.createBuilder(notification);
    }
    const char* slash = std::strchr(tail, '/');
    throw std::runtime_error(
        errors::unrecognisedPulsarType(slash == nullptr ? std::string(tail) : std::string(tail, slash)));
}

// The notification's "id" when it is a string, else null.
const cv::data_t* findStringId(const cv::map_t& payload)
{
    const cv::map_t::const_iterator id = payload.find(keys::id.value(), keys::id.hash());
    return id != payload.end() && id->second.isString() ? &id->second : nullptr;
}

// What stays in the batch slot of a notification that could not be converted:
// only its id, so that the drop report can name it. Nothing reads the slot while
// the notification is converted, so the stub is made only when conversion fails,
// from the id as it was when conversion began; a conversion that succeeds costs
// no host allocation for it.
class ErrorStub {
public:
    explicit ErrorStub(const cv::map_t& notificationPayload)
    {
        const cv::data_t* id = findStringId(notificationPayload);
        if (id == nullptr)
            return;
        hasId = true;
        // A borrowed text is copied as its pointer, without allocating; an owned one
        // is kept here until needed (platform ids fit the short-string buffer).
        if (id->tag() == VLM_TAG_BORROWED_STRING)
            borrowedId = *id;
        else
            ownedIdText = id->get<const char*>();
    }

    cv::Message make() const
    {
        if (!hasId)
            return cv::Message();
        cv::map_t stubPayload;
        stubPayload.findOrInsert(keys::id.value(), keys::id.hash()) =
            borrowedId.empty() ? cv::data_t(ownedIdText.c_str()) : borrowedId;
        return cv::Message(cv::data_t(std::move(stubPayload)), cv::map_t());
    }

private:
    bool hasId = false;
    cv::data_t borrowedId;
    std::string ownedIdText;
};

} // namespace

bool TessaroNotifications2Codec::transformMessageTowardsHost(cv::Message& message)
{
    const cv::map_t& metadata = message.getMetadata();
    if (metadata.find(keys::pulsarPath.value(), keys::pulsarPath.hash()) == metadata.end())
        return true;
    if (logger.isEnabled(cv::Logger::levelDebug))
        logger.debug("%s", (logTexts::processingMessage + cv::toString(message, true)).c_str());
    const ErrorStub errorStub(message.getPayload().get<cv::map_t>());
    cv::Message notification;
    notification.swap(message);
    try {
        message = convertNotification(std::move(notification));
    } catch (...) {
        message = errorStub.make();
        throw;
    }
    return true;
}

bool TessaroNotifications2Codec::handleTransformError(cv::Message& message, bool towardsTransport)
{
    const std::exception_ptr failure = std::current_exception();
    if (failure == nullptr)
        return false;
    std::string reason;
    const char* reasonText = nullptr;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        reason = error.what();
        reasonText = reason.c_str();
    } catch (...) {
    }
    const cv::data_t& payload = message.getPayload();
    const cv::data_t* id = payload.isMap() ? findStringId(payload.get<cv::map_t>()) : nullptr;
    const std::string text = logTexts::transformError(
        towardsTransport, id == nullptr ? nullptr : id->get<const char*>(), reasonText);
    logger.error("%s", text.c_str());
    return false;
}

cv::Message TessaroNotifications2Codec::convertNotification(cv::Message&& notification) const
{
    // The path is looked up once: builders change only the payload, so the tail stays valid.
    const char* tail = pulsarPathTail(notification);
    const std::unique_ptr<OrbelMessageBuilder> builder = createBuilderFor(tail, notification);
    const bool isMeasurement = startsWith(tail, measurementsKeyword);
    builder->setMetadata(keys::vlmChannel, isMeasurement ? measurementChannel : devicesChannel);
    if (tenant)
        builder->setField(keys::tenantId, *tenant);
    return finishBuilder(*builder);
}

std::unique_ptr<OrbelMessageBuilder> TessaroNotifications2Codec::createBuilder(cv::Message& notification)
{
    return createBuilderFor(pulsarPathTail(notification), notification);
}

const char* TessaroNotifications2Codec::pulsarPathTail(const cv::Message& notification)
{
    const cv::map_t& metadata = notification.getMetadata();
    const cv::map_t::const_iterator path = metadata.find(keys::pulsarPath.value(), keys::pulsarPath.hash());
    if (path == metadata.end())
        throw std::runtime_error(errors::noPulsarPath);
    const char* position = path->second.get<const char*>();
    for (int slashes = 0; *position != '\0' && slashes < 2; ++position) {
        if (*position == '/')
            ++slashes;
    }
    return position;
}

} // namespace com::velmora::connectivity::plugins::pulsar
