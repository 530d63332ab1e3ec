#include "codec/managed_object_builder.h"

#include <utility>

#include "codec/measurement_message_builder.h"
#include "codec/notification_keys.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

struct Rename {
    const cv::StaticString& from;
    const cv::StaticString& to;
};

// Reference fragments change key, not form.
const Rename referenceRenames[] = {
    {keys::childDevices, keys::childDeviceIds},     {keys::childAssets, keys::childAssetIds},
    {keys::childAdditions, keys::childAdditionIds}, {keys::deviceParents, keys::deviceParentIds},
    {keys::assetParents, keys::assetParentIds},     {keys::additionParents, keys::additionParentIds},
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

ManagedObjectBuilder::ManagedObjectBuilder(cv::data_t id, cv::data_t name, cv::data_t type)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::managedObject.value()))
{
    setStringField(keys::name, std::move(name));
    setStringField(keys::type, std::move(type));
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
    takeEachEntry(position, [&coordinates, &others](MapEntry&& entry) {
        (isNumericValue(entry.second) ? coordinates : others).insert(std::move(entry));
    });
    if (!coordinates.empty())
        setField(keys::position, cv::data_t(std::move(coordinates)));
    return others;
}

// The order of the steps decides which error a notification with several faults
// reports: "name" is required before "id" is looked at.
std::unique_ptr<OrbelMessageBuilder> createManagedObjectBuilder(cv::Message& notification)
{
    cv::data_t& payload = notification.getPayload();
    boost::optional<cv::data_t> type = takeOptional(payload, keys::type);
    cv::data_t name = takeRequired(payload, keys::name);
    cv::data_t id = takeRequired(payload, keys::id);

    auto builder = std::make_unique<ManagedObjectBuilder>(
        std::move(id), std::move(name), type ? std::move(*type) : cv::data_t(texts::emptyType.value()));
    if (boost::optional<cv::data_t> operations = takeOptional(payload, keys::t5oSupportedOperations))
        setSupportedList(*builder, keys::supportedOperations, std::move(*operations));
    if (boost::optional<cv::data_t> measurements = takeOptional(payload, keys::t5oSupportedMeasurements))
        setSupportedList(*builder, keys::supportedMeasurements, std::move(*measurements));
    // A position that is not a map is dropped.
    boost::optional<cv::data_t> position = takeOptional(payload, keys::t5oPosition);
    if (position && position->isMap()) {
        cv::map_t others = builder->splitPosition(position->get<cv::map_t>());
        builder->setFields(others);
    }
    for (const Rename& rename : referenceRenames) {
        if (boost::optional<cv::data_t> references = takeOptional(payload, rename.from))
            builder->setField(rename.to, std::move(*references));
    }
    copyOptionalTimes({keys::creationTime, keys::lastUpdated}, payload, *builder);
    copyLeftovers(payload, *builder);
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
