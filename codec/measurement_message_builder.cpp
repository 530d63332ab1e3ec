#include "codec/measurement_message_builder.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "codec/codec_errors.h"
#include "codec/notification_keys.h"

namespace com::velmora::connectivity::plugins::pulsar {

bool isNumericValue(const cv::data_t& value)
{
    switch (value.tag()) {
    case VLM_TAG_DOUBLE:
    case VLM_TAG_INTEGER:
    case VLM_TAG_DECIMAL:
        return true;
    case VLM_TAG_STRING:
    case VLM_TAG_BORROWED_STRING: {
        const char* text = value.get<const char*>();
        char* end = nullptr;
        std::strtod(text, &end);
        // strtod reads hexadecimal too, which the platform never sends as a number.
        return end != text && std::strpbrk(text, "xX") == nullptr;
    }
    default:
        return false;
    }
}

bool isMeasurementFragment(const cv::map_t& fragment)
{
    for (const cv::map_entry_t& series : fragment) {
        if (!series.second.isMap())
            return false;
        const cv::map_t& seriesMap = series.second.get<cv::map_t>();
        const cv::map_t::const_iterator value = seriesMap.find(keys::value.value(), keys::value.hash());
        if (value == seriesMap.end() || !isNumericValue(value->second))
            return false;
    }
    return true;
}

cv::map_t toMeasurementValue(cv::map_t& series)
{
    // The keys taken from the series are stored again as they are, without copies of the constants.
    boost::optional<MapEntry> value = takeOptionalEntry(series, keys::value);
    if (!value)
        throw std::runtime_error(errors::missingMeasurementValue);
    cv::map_t measurementValue;
    measurementValue.findOrInsert(std::move(value->first), keys::value.hash()) = std::move(value->second);
    if (boost::optional<MapEntry> units = takeOptionalEntry(series, keys::units))
        measurementValue.findOrInsert(std::move(units->first), keys::units.hash()) = std::move(units->second);
    measurementValue.findOrInsert(keys::params.value(), keys::params.hash()) = cv::data_t(std::move(series));
    return measurementValue;
}

MeasurementMessageBuilder::MeasurementMessageBuilder(MapEntry&& id, MapEntry&& source, MapEntry&& time,
                                                     MapEntry&& type)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::measurement.value()))
{
    setField(keys::source, std::move(source));
    setField(keys::time, std::move(time));
    setField(keys::type, std::move(type));
}

boost::optional<MapEntry> MeasurementMessageBuilder::addMeasurementFragment(MapEntry&& entry)
{
    if (!entry.second.isMap() || !isMeasurementFragment(entry.second.get<cv::map_t>()))
        return std::move(entry);
    entry.second.get<cv::map_t>().drain([this](MapEntry&& series, std::uint64_t keyHash) {
        // insert keeps the series met first under a name and releases a later one.
        measurements.insert(std::move(series.first), keyHash,
                            cv::data_t(toMeasurementValue(series.second.get<cv::map_t>())));
    });
    return boost::none;
}

namespace {

enum MeasurementField : std::size_t { Source, Type, Time, Id, CreationTime, LastUpdated };

} // namespace

// Every check runs before anything is taken, in the order that decides which
// error a notification with several faults reports; building then cannot fail.
std::unique_ptr<OrbelMessageBuilder> createMeasurementBuilder(cv::Message& notification)
{
    cv::data_t& payload = notification.getPayload();
    static const cv::KeySet fieldKeys(
        {&keys::source, &keys::type, &keys::time, &keys::id, &keys::creationTime, &keys::lastUpdated});
    NotificationFields fields(payload, fieldKeys);
    cv::data_t& source = fields.required(Source);
    fields.required(Type);
    const double time = requiredTime(fields.required(Time));
    cv::data_t& sourceId = sourceIdOf(source);
    requireString(keys::id, fields.required(Id));
    requireString(keys::source, sourceId);
    requireString(keys::type, fields.required(Type));

    MapEntry sourceField = fields.takeKeyFor(Source, std::move(sourceId));
    MapEntry timeField = fields.takeKeyFor(Time, cv::data_t(time));
    auto builder = std::make_unique<MeasurementMessageBuilder>(
        fields.takePresent(Id), std::move(sourceField), std::move(timeField), fields.takePresent(Type));
    copyOptionalTimes(fields, {CreationTime, LastUpdated}, *builder);
    cv::map_t remaining = std::move(payload.get<cv::map_t>());
    remaining.drain([&builder](MapEntry&& entry, std::uint64_t keyHash) {
        boost::optional<MapEntry> notAFragment = builder->addMeasurementFragment(std::move(entry));
        if (notAFragment)
            builder->setField(std::move(notAFragment->first), keyHash, std::move(notAFragment->second));
    });
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
