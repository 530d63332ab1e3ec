// Measurement notifications become one "com.orbel.tessaro.Measurement" event
// each: the fragments are flattened into the event's "measurements", a map from
// series name to {value, units, params}.
#pragma once

#include <memory>

#include <boost/optional.hpp>

#include "codec/orbel_message_builder.h"

namespace com::velmora::connectivity::plugins::pulsar {

// Double, integer, decimal, or a text that starts with a decimal number.
bool isNumericValue(const cv::data_t& value);
// Every entry is a series: a map whose "value" is numeric. An empty map qualifies.
bool isMeasurementFragment(const cv::map_t& fragment);
// Consumes the series: "value", then "units" when present, then "params" holding the rest.
cv::map_t toMeasurementValue(cv::map_t& series);

class MeasurementMessageBuilder : public OrbelMessageBuilder {
public:
    // Fields in the order the event payload is filled, each with the key it had in the notification.
    MeasurementMessageBuilder(MapEntry&& id, MapEntry&& source, MapEntry&& time, MapEntry&& type);

    // Consumes the entry when it is a fragment (the first series of a name wins);
    // otherwise hands it back untouched.
    boost::optional<MapEntry> addMeasurementFragment(MapEntry&& entry);
};

std::unique_ptr<OrbelMessageBuilder> createMeasurementBuilder(cv::Message& notification);

} // namespace com::velmora::connectivity::plugins::pulsar
