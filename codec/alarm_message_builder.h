// Alarm notifications become "com.orbel.tessaro.Alarm" events, with severity
// and status checked against their tables.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/orbel_message_builder.h"

namespace com::velmora::connectivity::plugins::pulsar {

enum class AlarmSeverity { Critical = 0, Major = 1, Minor = 2, Warning = 3 };
enum class AlarmStatus { Active = 0, Acknowledged = 1, Cleared = 2 };

AlarmSeverity parseAlarmSeverity(const char* text);
AlarmStatus parseAlarmStatus(const char* text);
const cv::data_t& alarmSeverityName(AlarmSeverity severity);
const cv::data_t& alarmStatusName(AlarmStatus status);

class AlarmMessageBuilder : public OrbelMessageBuilder {
public:
    // Fields in the order the event payload is filled, each with its converted
    // value and the key it had in the notification, which the event keeps.
    AlarmMessageBuilder(MapEntry&& id, MapEntry&& count, MapEntry&& severity, MapEntry&& source,
                        MapEntry&& status, MapEntry&& text, MapEntry&& time, MapEntry&& type);
};

std::unique_ptr<OrbelMessageBuilder> createAlarmBuilder(cv::Message& notification);

} // namespace com::velmora::connectivity::plugins::pulsar
