#include "codec/managed_object_builder.h"

#include <utility>

#include "codec/measurement_message_builder.h"
#include "codec/notification_keys.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

enum ManagedObjectField : std::size_t {
    Type,
    Name,
    Id,
    SupportedOperations,
    SupportedMeasurements,
    Position,
    // The reference fragments, in the order of referenceNames.
    ChildDevices,
    ChildAssets,
    ChildAdditions,
    DeviceParents,
    AssetParents,
    AdditionParents,
    CreationTime,
    LastUpdated,
};

// Reference fragments change key, not form: the event's names of the fields from ChildDevices on.
const cv::StaticString* const referenceNames[] = {
    &keys::childDeviceIds,  &keys::childAssetIds,  &keys::childAdditionIds,
    &keys::deviceParentIds, &keys::assetParentIds, &keys::additionParentIds,
};

bool holdsOnlyStrings(const cv::list_t& list)
{
    for (const cv::data_t& item : list) {
        if (!item.isString())
            return false;
    }
    return true;
}

// Whatever the platform sent under a supported-list key arrives under the event's key unchanged.
void setSupportedList(ManagedObjectBuilder& builder, const cv::StaticString& key, cv::data_t value)
{
    if (value.isList()) {
        boost::optional<cv::list_t> rejected = builder.setStringList(std::move(value.get<cv::list_t>()), key);
        if (!rejected)
            return;
        value = cv::data_t(std::move(*rejected));
    }
    builder.setField(key, std::move(value));
}

} // namespace

ManagedObjectBuilder::ManagedObjectBuilder(MapEntry&& id, MapEntry&& name, MapEntry&& type)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::managedObject.value()))
{
    setField(keys::name, std::move(name));
    setField(keys::type, std::move(type));
}

boost::optional<cv::list_t> ManagedObjectBuilder::setStringList(cv::list_t&& list,
                                                                const cv::StaticString& key)
{
    if (!holdsOnlyStrings(list))
        return std::move(list);
    setField(key, cv::data_t(std::move(list)));
    return boost::none;
}

cv::map_t ManagedObjectBuilder::splitPosition(cv::map_t& position)
{
    cv::map_t coordinates;
    cv::map_t others;
    position.drain([&coordinates, &others](MapEntry&& entry, std::uint64_t keyHash) {
        (isNumericValue(entry.second) ? coordinates : others)
            .insert(std::move(entry.first), keyHash, std::move(entry.second));
    });
    if (!coordinates.empty())
        setField(keys::position, cv::data_t(std::move(coordinates)));
    return others;
}

// Every check runs before anything is taken, in the order that decides which
// error a notification with several faults reports: "name" is required before
// "id" is looked at. Nothing after the checks can fail.
std::unique_ptr<OrbelMessageBuilder> createManagedObjectBuilder(cv::Message& notification)
{
    static const cv::KeySet fieldKeys({&keys::type, &keys::name, &keys::id, &keys::t5oSupportedOperations,
                                       &keys::t5oSupportedMeasurements, &keys::t5oPosition,
                                       &keys::childDevices, &keys::childAssets, &keys::childAdditions,
                                       &keys::deviceParents, &keys::assetParents, &keys::additionParents,
                                       &keys::creationTime, &keys::lastUpdated});
    NotificationFields fields(notification.getPayload(), fieldKeys);
    fields.required(Name);
    requireString(keys::id, fields.required(Id));
    requireString(keys::name, fields.required(Name));
    if (fields.has(Type))
        requireString(keys::type, fields.required(Type));

    boost::optional<MapEntry> type = fields.take(Type);
    auto builder = std::make_unique<ManagedObjectBuilder>(
        fields.takePresent(Id), fields.takePresent(Name),
        type ? std::move(*type) : MapEntry(keys::type.value(), texts::emptyType.value()));
    if (boost::optional<MapEntry> operations = fields.take(SupportedOperations))
        setSupportedList(*builder, keys::supportedOperations, std::move(operations->second));
    if (boost::optional<MapEntry> measurements = fields.take(SupportedMeasurements))
        setSupportedList(*builder, keys::supportedMeasurements, std::move(measurements->second));
    // A position that is not a map is dropped.
    boost::optional<MapEntry> position = fields.take(Position);
    if (position && position->second.isMap()) {
        cv::map_t others = builder->splitPosition(position->second.get<cv::map_t>());
        builder->setFields(others);
    }
    for (std::size_t reference = 0; reference < std::size(referenceNames); ++reference) {
        if (boost::optional<MapEntry> references = fields.take(ChildDevices + reference))
            builder->setField(*referenceNames[reference], std::move(references->second));
    }
    copyOptionalTimes(fields, {CreationTime, LastUpdated}, *builder);
    copyLeftovers(notification.getPayload(), *builder);
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
