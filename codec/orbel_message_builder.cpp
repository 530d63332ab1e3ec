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

void OrbelMessageBuilder::setField(cv::data_t&& key, cv::data_t value)
{
    payload[std::move(key)] = std::move(value);
}

void OrbelMessageBuilder::setFields(cv::map_t& entries)
{
    takeEachEntry(entries,
                  [this](MapEntry&& entry) { setField(std::move(entry.first), std::move(entry.second)); });
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
    builder.payload.insert(cv::data_t(keys::measurements.value()),
                           cv::data_t(std::move(builder.measurements)));
    builder.message.getPayload() = cv::data_t(std::move(builder.payload));
    return std::move(builder.message);
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

double takeRequiredTime(cv::data_t& payload)
{
    // The value stays held until the error text has been made from it.
    const cv::data_t value = takeRequired(payload, keys::time);
    const char* text = getStringFor(value, keys::time);
    const boost::optional<double> seconds = parseTimestamp(text);
    if (!seconds)
        throw std::runtime_error(errors::unparsableTimestamp(text, keys::time.text()));
    return *seconds;
}

void copyOptionalTime(const cv::StaticString& key, cv::data_t& payload, OrbelMessageBuilder& builder)
{
    boost::optional<MapEntry> entry = takeOptionalEntry(payload.get<cv::map_t>(), key);
    if (!entry)
        return;
    cv::data_t& value = entry->second;
    if (value.isString()) {
        if (const boost::optional<double> seconds = parseTimestamp(value.get<const char*>()))
            value = cv::data_t(*seconds);
    }
    builder.setField(key, std::move(*entry));
}

void copyOptionalTimes(std::initializer_list<std::reference_wrapper<const cv::StaticString>> keys,
                       cv::data_t& payload, OrbelMessageBuilder& builder)
{
    for (const cv::StaticString& key : keys)
        copyOptionalTime(key, payload, builder);
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
