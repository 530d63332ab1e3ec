// Alarm notifications to alarm events.
#include "codec/alarm_message_builder.h"
#include "tests/codec/conversion_support.h"
#include "tests/support/host_test.h"

namespace codec_testing {
namespace {

class AlarmConversionTest : public testing_support::HostTest {};

TEST_F(AlarmConversionTest, RealisticAlarmBecomesTheAlarmEvent)
{
    const cv::Message event = convert(&pulsar::createAlarmBuilder, R"({
        "source": {"id": "4711", "name": "pump"}, "type": "t5o_PressureAlarm",
        "time": "2024-02-01T10:00:00.250+01:00", "text": "Pressure too high", "status": "ACKNOWLEDGED",
        "severity": "MINOR", "count": 3, "id": "981", "creationTime": "2024-02-01T09:00:00.000Z",
        "firstOccurrenceTime": "not a time", "lastUpdated": 17, "t5o_Valve": {"open": [true, 2.5, "x"]}, "t5o_Note": null})");
    EXPECT_EQ(event.getPayload(), json(R"({
        "id": "981", "count": 3, "severity": "MINOR", "source": "4711", "status": "ACKNOWLEDGED",
        "text": "Pressure too high", "time": 1706778000.25, "type": "t5o_PressureAlarm",
        "creationTime": 1706778000.0, "firstOccurrenceTime": "not a time", "lastUpdated": 17,
        "t5o_Valve": {"open": [true, 2.5, "x"]}, "t5o_Note": null, "measurements": {}})"));
    EXPECT_EQ(event.getMetadata(), json("{'vlm.type': 'com.orbel.tessaro.Alarm'}").get<cv::map_t>());
}

TEST_F(AlarmConversionTest, SeverityAndStatusAcceptExactlyTheirTables)
{
    for (const char* severity : {"CRITICAL", "MAJOR", "MINOR", "WARNING"})
        EXPECT_STREQ(pulsar::alarmSeverityName(pulsar::parseAlarmSeverity(severity)).get<const char*>(),
                     severity);
    for (const char* status : {"ACTIVE", "ACKNOWLEDGED", "CLEARED"})
        EXPECT_STREQ(pulsar::alarmStatusName(pulsar::parseAlarmStatus(status)).get<const char*>(), status);

    // Exact matches only: no case folding, no prefixes, no trimming.
    for (const char* severity : {"minor", "MAJORITY", ""})
        EXPECT_EQ(errorOf([&] { pulsar::parseAlarmSeverity(severity); }),
                  std::string("Unrecognized alarm severity: ") + severity);
    EXPECT_EQ(errorOf([] { pulsar::parseAlarmStatus("ACTIVE "); }), "Unrecognized alarm status: ACTIVE ");
    EXPECT_EQ(errorOf([] { pulsar::alarmStatusName(static_cast<pulsar::AlarmStatus>(3)); }),
              "Unrecognized enum value.");
}

} // namespace
} // namespace codec_testing
