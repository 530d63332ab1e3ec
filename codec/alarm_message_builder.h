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
    // Arguments in the order the event payload is filled.
    AlarmMessageBuilder(cv::data_t id, std::int64_t count, AlarmSeverity severity, cv::data_t source,
                        AlarmStatus status, cv::data_t text, double time, cv::data_t type);
};

std::unique_ptr<OrbelMessageBuilder> createAlarmBuilder(cv::Message& notification);

} // namespace com::velmora::connectivity::plugins::pulsar
