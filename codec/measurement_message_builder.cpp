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

MeasurementMessageBuilder::MeasurementMessageBuilder(cv::data_t id, cv::data_t source, double time,
                                                     cv::data_t type)
    : OrbelMessageBuilder(std::move(id), cv::data_t(eventTypes::measurement.value()))
{
    setStringField(keys::source, std::move(source));
    setField(keys::time, cv::data_t(time));
    setStringField(keys::type, std::move(type));
}

boost::optional<MapEntry> MeasurementMessageBuilder::addMeasurementFragment(MapEntry&& entry)
{
    if (!entry.second.isMap() || !isMeasurementFragment(entry.second.get<cv::map_t>()))
        return std::move(entry);
    takeEachEntry(entry.second.get<cv::map_t>(), [this](MapEntry&& series) {
        // insert keeps the series met first under a name and releases a later one.
        measurements.insert(std::move(series.first),
                            cv::data_t(toMeasurementValue(series.second.get<cv::map_t>())));
    });
    return boost::none;
}

// The order of the steps decides which error a notification with several faults reports.
std::unique_ptr<OrbelMessageBuilder> createMeasurementBuilder(cv::Message& notification)
{
    cv::data_t& payload = notification.getPayload();
    cv::data_t source = takeRequired(payload, keys::source);
    cv::data_t type = takeRequired(payload, keys::type);
    const double time = takeRequiredTime(payload);
    cv::data_t sourceId = takeRequired(getMapFor(source, keys::source), keys::id, errors::sourceContext);
    cv::data_t id = takeRequired(payload, keys::id);

    auto builder = std::make_unique<MeasurementMessageBuilder>(std::move(id), std::move(sourceId), time,
                                                               std::move(type));
    copyOptionalTimes({keys::creationTime, keys::lastUpdated}, payload, *builder);
    cv::map_t remaining = std::move(payload.get<cv::map_t>());
    takeEachEntry(remaining, [&builder](MapEntry&& entry) {
        boost::optional<MapEntry> notAFragment = builder->addMeasurementFragment(std::move(entry));
        if (notAFragment)
            builder->setField(std::move(notAFragment->first), std::move(notAFragment->second));
    });
    return builder;
}

} // namespace com::velmora::connectivity::plugins::pulsar
