#include "codec/orbel_message_builder.h"

#include <exception>
#include <stdexcept>

#include "codec/codec_errors.h"
#include "codec/notification_keys.h"
#include "codec/timestamp.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

// Runs a typed read and rewords its failure so the message names the key.
template <class Read> decltype(auto) readFor(const cv::StaticString& keyName, Read&& read)
{
    try {
        return read();
    } catch (const std::exception& failure) {
        throw std::runtime_error(errors::problemWithKey(keyName.text(), failure.what()));
    }
}

} // namespace

OrbelMessageBuilder::OrbelMessageBuilder(cv::data_t id, cv::data_t eventType)
{
    setStringField(keys::id, std::move(id));
    setMetadata(keys::vlmType, std::move(eventType));
}

OrbelMessageBuilder::OrbelMessageBuilder(MapEntry&& id, cv::data_t eventType)
{
    requireString(keys::id, id.second);
    setField(keys::id, std::move(id));
    setMetadata(keys::vlmType, std::move(eventType));
}

void OrbelMessageBuilder::setField(const cv::StaticString& key, cv::data_t value)
{
    payload.findOrInsert(key.value(), key.hash()) = std::move(value);
}

void OrbelMessageBuilder::setStringField(const cv::StaticString& key, cv::data_t value)
{
    requireString(key, value);
    setField(key, std::move(value));
}

void OrbelMessageBuilder::setField(const cv::StaticString& key, MapEntry&& taken)
{
    payload.findOrInsert(std::move(taken.first), key.hash()) = std::move(taken.second);
}

void OrbelMessageBuilder::setField(cv::data_t&& key, std::uint64_t keyHash, cv::data_t value)
{
    // The same refusal as element access by a moved key.
    if (key.empty())
        throw std::runtime_error(cv::errors::nullKey);
    payload.findOrInsert(std::move(key), keyHash) = std::move(value);
}

void OrbelMessageBuilder::setFields(cv::map_t& entries)
{
    entries.drain([this](MapEntry&& entry, std::uint64_t keyHash) {
        setField(std::move(entry.first), keyHash, std::move(entry.second));
    });
}

void OrbelMessageBuilder::setMetadata(const cv::data_t& key, std::uint64_t keyHash, cv::data_t value)
{
    if (!key.isString())
        throw std::runtime_error(errors::nonStringMetadataKey);
    message.getMetadata().findOrInsert(key, keyHash) = std::move(value);
}

void OrbelMessageBuilder::setMetadata(const cv::StaticString& key, cv::data_t value)
{
    setMetadata(key.value(), key.hash(), std::move(value));
}

cv::Message finishBuilder(OrbelMessageBuilder& builder)
{
    // insert leaves a "measurements" the notification carried in place; ours is then released.
    builder.payload.insert(cv::data_t(keys::measurements.value()), keys::measurements.hash(),
                           cv::data_t(std::move(builder.measurements)));
    builder.message.getPayload() = cv::data_t(builder.payload.take());
    return std::move(builder.message);
}

NotificationFields::NotificationFields(cv::data_t& payload, const cv::KeySet& keys)
    : map_(payload.get<cv::map_t>()), keys_(keys)
{
    map_.locate(keys, slots_.data());
}

void NotificationFields::throwMissing(std::size_t field) const
{
    throw std::runtime_error(errors::requiredKeyMissing(key(field).text(), errors::messagePayloadContext));
}

boost::optional<MapEntry> NotificationFields::take(std::size_t field)
{
    if (!has(field))
        return boost::none;
    return takePresent(field);
}

MapEntry NotificationFields::takePresent(std::size_t field)
{
    MapEntry entry = map_.extractSlot(slots_[field]);
    slots_[field] = absent();
    return entry;
}

MapEntry NotificationFields::takeKeyFor(std::size_t field, cv::data_t value)
{
    MapEntry entry = takePresent(field);
    entry.second = std::move(value);
    return entry;
}

boost::optional<MapEntry> takeOptionalEntry(cv::map_t& map, const cv::StaticString& key)
{
    const cv::map_t::iterator found = map.find(key.value(), key.hash());
    if (found == map.end())
        return boost::none;
    return map.extract(found);
}

boost::optional<cv::data_t> takeOptional(cv::map_t& map, const cv::StaticString& key)
{
    boost::optional<MapEntry> entry = takeOptionalEntry(map, key);
    if (!entry)
        return boost::none;
    return std::move(entry->second);
}

boost::optional<cv::data_t> takeOptional(cv::data_t& payload, const cv::StaticString& key)
{
    return takeOptional(payload.get<cv::map_t>(), key);
}

cv::data_t takeRequired(cv::map_t& map, const cv::StaticString& key, const char* context)
{
    boost::optional<cv::data_t> value = takeOptional(map, key);
    if (!value)
        throw std::runtime_error(errors::requiredKeyMissing(key.text(), context));
    return std::move(*value);
}

cv::data_t takeRequired(cv::data_t& payload, const cv::StaticString& key)
{
    return takeRequired(payload.get<cv::map_t>(), key, errors::messagePayloadContext);
}

double requiredTime(const cv::data_t& time)
{
    const char* text = getStringFor(time, keys::time);
    const boost::optional<double> seconds = parseTimestamp(text);
    if (!seconds)
        throw std::runtime_error(errors::unparsableTimestamp(text, keys::time.text()));
    return *seconds;
}

cv::data_t& sourceIdOf(cv::data_t& source)
{
    cv::map_t& sourceMap = getMapFor(source, keys::source);
    const cv::map_t::iterator id = sourceMap.find(keys::id.value(), keys::id.hash());
    if (id == sourceMap.end())
        throw std::runtime_error(errors::requiredKeyMissing(keys::id.text(), errors::sourceContext));
    return id->second;
}

void copyOptionalTimes(NotificationFields& fields, std::initializer_list<std::size_t> timeFields,
                       OrbelMessageBuilder& builder)
{
    for (const std::size_t field : timeFields) {
        if (!fields.has(field))
            continue;
        MapEntry entry = fields.takePresent(field);
        cv::data_t& value = entry.second;
        if (value.isString()) {
            if (const boost::optional<double> seconds = parseTimestamp(value.get<const char*>()))
                value = cv::data_t(*seconds);
        }
        builder.setField(fields.key(field), std::move(entry));
    }
}

void copyLeftovers(cv::data_t& payload, OrbelMessageBuilder& builder)
{
    cv::map_t leftovers = std::move(payload.get<cv::map_t>());
    builder.setFields(leftovers);
}

cv::map_t& getMapFor(cv::data_t& value, const cv::StaticString& keyName)
{
    return readFor(keyName, [&value]() -> cv::map_t& { return value.get<cv::map_t>(); });
}

const char* getStringFor(const cv::data_t& value, const cv::StaticString& keyName)
{
    return readFor(keyName, [&value] { return value.get<const char*>(); });
}

std::int64_t getIntegerFor(const cv::data_t& value, const cv::StaticString& keyName)
{
    return readFor(keyName, [&value] { return value.get<std::int64_t>(); });
}

void requireString(const cv::StaticString& keyName, const cv::data_t& value)
{
    if (!value.isString())
        throw std::runtime_error(errors::notAString(keyName.text()));
}

} // namespace com::velmora::connectivity::plugins::pulsar
