// The base of every notification builder, and the field operations with which
// the builders read a notification payload. Reading consumes: a field that is
// read is moved out of the notification map and its entry erased, so what is
// left at the end is exactly what no step claimed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include <boost/optional.hpp>

#include "connectivity/values/data_t.h"
#include "connectivity/values/key_set.h"
#include "connectivity/values/map_builder.h"
#include "connectivity/values/map_t.h"
#include "connectivity/values/message.h"
#include "connectivity/values/static_string.h"

namespace com::velmora::connectivity::plugins::pulsar {

namespace cv = com::velmora::connectivity10_15_4;

// A key and its value, moved out of a map slot together.
using MapEntry = std::pair<cv::data_t, cv::data_t>;

// Collects one event's fields and metadata while a notification is converted;
// lives only for that conversion.
class OrbelMessageBuilder {
public:
    OrbelMessageBuilder(const OrbelMessageBuilder&) = delete;
    OrbelMessageBuilder& operator=(const OrbelMessageBuilder&) = delete;
    virtual ~OrbelMessageBuilder() = default;

    // Each replaces an existing entry of the same key.
    void setField(const cv::StaticString& key, cv::data_t value);
    // With the hash the key was stored under in the notification, which spares hashing it again.
    void setField(cv::data_t&& key, std::uint64_t keyHash, cv::data_t value);
    // A field taken from the notification under key goes into the event under
    // the very key string it was stored with, which saves copying the constant.
    void setField(const cv::StaticString& key, MapEntry&& taken);
    // Refuses a value that is not a string, naming the key.
    void setStringField(const cv::StaticString& key, cv::data_t value);
    // Moves every entry of entries into the payload under its own key, leaving entries empty.
    void setFields(cv::map_t& entries);
    // Metadata keys must be strings; the hash is the key's own, known in advance for constants.
    void setMetadata(const cv::data_t& key, std::uint64_t keyHash, cv::data_t value);
    void setMetadata(const cv::StaticString& key, cv::data_t value);

    // Moves the event out; the builder is left empty.
    friend cv::Message finishBuilder(OrbelMessageBuilder& builder);

protected:
    // Throws when id is not a string; writes payload "id" and metadata "vlm.type".
    OrbelMessageBuilder(cv::data_t id, cv::data_t eventType);
    // The same with the id taken together with its key, which the payload then keeps.
    OrbelMessageBuilder(MapEntry&& id, cv::data_t eventType);

    // Series name to measurement value; only the measurement builder fills it.
    cv::map_t measurements;

private:
    cv::Message message;
    cv::map_builder payload;
};

cv::Message finishBuilder(OrbelMessageBuilder& builder);

// The fields a builder reads, found in one walk over the notification map. Taking a field moves its key and
// value out and erases the entry, as a find and erase would, so the leftovers are exactly what no step took.
// The map must outlive this and change only through it.
class NotificationFields {
public:
    // Member i of keys is the key of field number i; keys must outlive this.
    NotificationFields(cv::data_t& payload, const cv::KeySet& keys);

    const cv::StaticString& key(std::size_t field) const { return keys_[field]; }
    bool has(std::size_t field) const { return slots_[field] != absent(); }
    // The field's value, left in place; throws the missing-key text when absent.
    cv::data_t& required(std::size_t field) const
    {
        if (!has(field))
            throwMissing(field);
        return valueAt(field);
    }
    boost::optional<MapEntry> take(std::size_t field);
    // For a field known to be present.
    MapEntry takePresent(std::size_t field);
    // A present field's key with value in place of the one it held, which is released.
    MapEntry takeKeyFor(std::size_t field, cv::data_t value);

private:
    std::size_t absent() const { return map_.capacity(); }
    cv::data_t& valueAt(std::size_t field) const
    {
        return reinterpret_cast<cv::map_entry_t&>(vlm_map_slots(map_.table())[slots_[field]]).second;
    }
    [[noreturn]] void throwMissing(std::size_t field) const;

    cv::map_t& map_;
    const cv::KeySet& keys_;
    std::array<std::size_t, cv::KeySet::maxKeys> slots_{};
};

// The value and the key it was stored under (equal to key, and so of key's hash).
boost::optional<MapEntry> takeOptionalEntry(cv::map_t& map, const cv::StaticString& key);
boost::optional<cv::data_t> takeOptional(cv::map_t& map, const cv::StaticString& key);
boost::optional<cv::data_t> takeOptional(cv::data_t& payload, const cv::StaticString& key);
cv::data_t takeRequired(cv::map_t& map, const cv::StaticString& key, const char* context);
cv::data_t takeRequired(cv::data_t& payload, const cv::StaticString& key);
// The required "time" value as seconds since the epoch; throws when it is not a
// string or not a timestamp.
double requiredTime(const cv::data_t& time);
// The "id" inside a notification's "source", left in place; throws when source is
// not a map or holds no "id".
cv::data_t& sourceIdOf(cv::data_t& source);
// Each optional time, in turn, is carried as a double when it parses, otherwise as it came.
void copyOptionalTimes(NotificationFields& fields, std::initializer_list<std::size_t> timeFields,
                       OrbelMessageBuilder& builder);
// Carries every entry no step has taken into the event, unchanged.
void copyLeftovers(cv::data_t& payload, OrbelMessageBuilder& builder);

// Typed reads that name the key in their failure.
cv::map_t& getMapFor(cv::data_t& value, const cv::StaticString& keyName);
const char* getStringFor(const cv::data_t& value, const cv::StaticString& keyName);
std::int64_t getIntegerFor(const cv::data_t& value, const cv::StaticString& keyName);
void requireString(const cv::StaticString& keyName, const cv::data_t& value);

} // namespace com::velmora::connectivity::plugins::pulsar
