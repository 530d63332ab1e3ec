// The dispatch of a notification by its Pulsar path: the path picks the
// builder, the builder turns the notification into the event.
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

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
    std::string_view keyword;
    std::unique_ptr<OrbelMessageBuilder> (*createBuilder)(cv::Message&);
};

// Only the keyword's own length is compared: "alarmsX" is an alarm, "measurements2" a measurement.
const NotificationKind notificationKinds[] = {
    {"alarms", &createAlarmBuilder},
    {"events", &createEventBuilder},
    {"measurements", &createMeasurementBuilder},
    {"managedobjects", &createManagedObjectBuilder},
    {"operations", &createOperationBuilder},
};

// The kind named at the start of the path's tail. Most kinds differ in their first
// letter, which is compared first.
const NotificationKind& kindOf(const char* tail)
{
    for (const NotificationKind& kind : notificationKinds) {
        if (tail[0] == kind.keyword[0] && std::strncmp(tail, kind.keyword.data(), kind.keyword.size()) == 0)
            return kind;
    }
    const char* slash = std::strchr(tail, '/');
    throw std::runtime_error(
        errors::unrecognisedPulsarType(slash == nullptr ? std::string(tail) : std::string(tail, slash)));
}

} // namespace

cv::Message TessaroNotifications2Codec::convertNotification(cv::Message&& notification) const
{
    return convertNotification(std::move(notification), pulsarPathTail(notification));
}

// Builders change only the payload, so the tail stays valid throughout.
cv::Message TessaroNotifications2Codec::convertNotification(cv::Message&& notification,
                                                            const char* tail) const
{
    const NotificationKind& kind = kindOf(tail);
    const std::unique_ptr<OrbelMessageBuilder> builder = kind.createBuilder(notification);
    // Measurements go to their own channel, every other kind to the devices channel.
    const bool isMeasurement = kind.createBuilder == &createMeasurementBuilder;
    builder->setMetadata(keys::vlmChannel, isMeasurement ? measurementChannel : devicesChannel);
    if (tenant)
        builder->setField(keys::tenantId, *tenant);
    return finishBuilder(*builder);
}

std::unique_ptr<OrbelMessageBuilder> TessaroNotifications2Codec::createBuilder(cv::Message& notification)
{
    return kindOf(pulsarPathTail(notification)).createBuilder(notification);
}

const char* TessaroNotifications2Codec::pulsarPathTail(const cv::Message& notification)
{
    const cv::map_t& metadata = notification.getMetadata();
    const cv::map_t::const_iterator path = metadata.find(keys::pulsarPath.value(), keys::pulsarPath.hash());
    if (path == metadata.end())
        throw std::runtime_error(errors::noPulsarPath);
    return tailOfPath(path->second);
}

const char* TessaroNotifications2Codec::tailOfPath(const cv::data_t& path)
{
    const char* position = path.get<const char*>();
    for (int slashes = 0; *position != '\0' && slashes < 2; ++position) {
        if (*position == '/')
            ++slashes;
    }
    return position;
}

} // namespace com::velmora::connectivity::plugins::pulsar
