// Each kind of notification to its event: fields renamed and converted, times read where the kind
// reads them, the rest copied as it is; and of several faults, the one its builder meets first.
#include "codec/alarm_message_builder.h"
#include "codec/event_message_builder.h"
#include "codec/managed_object_builder.h"
#include "codec/measurement_message_builder.h"
#include "codec/operation_message_builder.h"
#include "codec/tessaro_notifications2_codec.h"
#include "tests/codec/conversion_support.h"

namespace codec_testing {
namespace {

class ConversionTest : public testing_support::HostTest {};

constexpr const char* measurementKeys =
    "'source': {'id': '4711'}, 'type': 't5o_Climate', 'time': '2024-02-01T10:00:00Z', 'id': '77'";

struct ConversionCase {
    CreateBuilder create;
    std::string notification;
    std::string payload;
};

TEST_F(ConversionTest, EachKindBecomesItsEvent)
{
    const ConversionCase cases[] = {
        {&pulsar::createAlarmBuilder,
         R"({"source": {"id": "4711", "name": "pump"}, "type": "t5o_PressureAlarm",
        "time": "2024-02-01T10:00:00.250+01:00", "text": "Pressure too high", "status": "ACKNOWLEDGED",
        "severity": "MINOR", "count": 3, "id": "981", "creationTime": "2024-02-01T09:00:00.000Z",
        "firstOccurrenceTime": "not a time", "lastUpdated": 17, "t5o_Valve": {"open": [true, 2.5, "x"]},
        "t5o_Note": null})",
         R"({"id": "981", "count": 3, "severity": "MINOR", "source": "4711", "status": "ACKNOWLEDGED",
        "text": "Pressure too high", "time": 1706778000.25, "type": "t5o_PressureAlarm",
        "creationTime": 1706778000.0, "firstOccurrenceTime": "not a time", "lastUpdated": 17,
        "t5o_Valve": {"open": [true, 2.5, "x"]}, "t5o_Note": null, "measurements": {}})"},
        {&pulsar::createEventBuilder,
         R"({"source": {"id": "4711", "self": "https://example.invalid/4711"}, "type": "t5o_LocationUpdate",
        "time": "2024-02-01T10:00:00.000Z", "text": "Location updated", "id": "12",
        "firstOccurrenceTime": "2024-02-01T09:59:59.500Z", "creationTime": 1706781600,
        "t5o_Position": {"lat": 52.1, "lng": 4.3}})",
         R"({"id": "12", "source": "4711", "text": "Location updated", "time": 1706781600.0,
        "type": "t5o_LocationUpdate", "firstOccurrenceTime": 1706781599.5, "creationTime": 1706781600,
        "t5o_Position": {"lat": 52.1, "lng": 4.3}, "measurements": {}})"},
        {&pulsar::createManagedObjectBuilder, R"({"id": "5", "name": "Pump 5", "owner": "service",
        "t5o_SupportedOperations": ["t5o_Restart", "t5o_Configuration"],
        "t5o_SupportedMeasurements": ["t5o_Temperature", 3], "t5o_Position": {"lat": 52.1, "lng": 4,
        "alt": "12", "accuracy": "high"}, "childDevices": {"references": [{"id": "6"}]}, "childAssets": [],
        "childAdditions": "none", "deviceParents": [{"id": "1"}], "assetParents": null, "additionParents": 0,
        "creationTime": "2024-02-01T10:00:00Z", "lastUpdated": "2024-02-01T10:00:00.500Z",
        "firstOccurrenceTime": "2024-02-01T10:00:00Z"})",
         R"({"id": "5", "name": "Pump 5", "type": "", "owner": "service",
        "supportedOperations": ["t5o_Restart", "t5o_Configuration"],
        "supportedMeasurements": ["t5o_Temperature", 3], "position": {"lat": 52.1, "lng": 4, "alt": "12"},
        "accuracy": "high", "childDeviceIds": {"references": [{"id": "6"}]}, "childAssetIds": [],
        "childAdditionIds": "none", "deviceParentIds": [{"id": "1"}], "assetParentIds": null,
        "additionParentIds": 0, "creationTime": 1706781600.0, "lastUpdated": 1706781600.5,
        "firstOccurrenceTime": "2024-02-01T10:00:00Z", "measurements": {}})"},
        // A position without coordinates, or not a map.
        {&pulsar::createManagedObjectBuilder,
         "{'id': '5', 'name': 'n', 'type': 't', 't5o_Position': {'valid': true, 'id': 'p'},"
         " 't5o_SupportedOperations': 't5o_Restart'}",
         "{'id': 'p', 'name': 'n', 'type': 't', 'valid': true, 'supportedOperations': 't5o_Restart',"
         " 'measurements': {}}"},
        {&pulsar::createManagedObjectBuilder, "{'id': '5', 'name': 'n', 't5o_Position': 'Delft'}",
         "{'id': '5', 'name': 'n', 'type': '', 'measurements': {}}"},
        {&pulsar::createOperationBuilder,
         R"({"source": {"id": "4711"}, "status": "EXECUTING", "deviceId": "5", "id": "9",
        "creationTime": "2024-02-01T10:00:00Z", "time": "2024-02-01T10:00:00Z", "t5o_Restart": {},
        "description": "Restart device"})",
         R"({"id": "9", "source": "4711", "status": "EXECUTING", "creationTime": 1706781600.0,
        "time": "2024-02-01T10:00:00Z", "t5o_Restart": {}, "description": "Restart device",
        "measurements": {}})"},
        // Without its own id an operation is named by the device.
        {&pulsar::createOperationBuilder, "{'source': {'id': '4711'}, 'status': 'PENDING', 'deviceId': '5'}",
         "{'id': '5', 'source': '4711', 'status': 'PENDING', 'measurements': {}}"},
        {&pulsar::createMeasurementBuilder,
         std::string("{") + measurementKeys + R"(, "t5o_Temperature": {"T": {"value": 21.5, "unit": "deg"}},
        "t5o_Voltage": {"V1": {"value": 1, "units": "V", "q": 2}, "V2": {"value": " 12.5e0", "units": 3}},
        "marker": {}, "hex": {"H": {"value": "0x1A"}}, "words": {"W": {"value": "high"}},
        "mixed": {"M1": {"value": 1}, "M2": 5}, "noValue": {"N": {"units": "V"}},
        "creationTime": "2024-02-01T10:00:00Z", "firstOccurrenceTime": "2024-02-01T10:00:00Z"})",
         R"({"id": "77", "source": "4711", "time": 1706781600.0, "type": "t5o_Climate",
        "creationTime": 1706781600.0, "firstOccurrenceTime": "2024-02-01T10:00:00Z",
        "hex": {"H": {"value": "0x1A"}}, "words": {"W": {"value": "high"}}, "mixed": {"M1": {"value": 1},
        "M2": 5}, "noValue": {"N": {"units": "V"}}, "measurements": {"T": {"value": 21.5,
        "params": {"unit": "deg"}}, "V1": {"value": 1, "units": "V", "params": {"q": 2}},
        "V2": {"value": " 12.5e0", "units": 3, "params": {}}}})"},
        // A notification's own measurements key wins over the series.
        {&pulsar::createMeasurementBuilder,
         std::string("{") + measurementKeys + ", 'measurements': 5, 'F': {'T': {'value': 1}}}",
         "{'id': '77', 'source': '4711', 'time': 1706781600.0, 'type': 't5o_Climate', 'measurements': 5}"},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.notification);
        const cv::Message event = convert(c.create, c.notification);
        EXPECT_EQ(event.getPayload(), json(c.payload)); // each event's type: dispatch_test
    }
}

TEST_F(ConversionTest, TheSeriesMetFirstInIterationOrderWins)
{
    const std::string payload =
        std::string("{") + measurementKeys + ", 'A': {'T': {'value': 1}}, 'B': {'T': {'value': 2}}}";
    // Which fragment comes first depends on where the keys hash to, so ask the map.
    const cv::data_t notification = json(payload);
    std::string letters; // the one-letter keys, A and B, in iteration order
    for (const cv::map_entry_t& entry : notification.get<cv::map_t>()) {
        if (entry.first.get<const char*>()[1] == '\0')
            letters += entry.first.get<const char*>();
    }
    const cv::Message event = convert(&pulsar::createMeasurementBuilder, payload);
    EXPECT_EQ(field(event.getPayload(), "measurements"),
              json(std::string("{'T': {'value': ") + (letters == "AB" ? "1" : "2") + ", 'params': {}}}"));
}

TEST_F(ConversionTest, SeriesValuesAreNumbersOrTextsStartingWithADecimalNumber)
{
    for (const char* numeric : {"'0'", "' -3'", "'1e3'", "'7 V'", "'inf'", "7", "0.5"})
        EXPECT_TRUE(pulsar::isNumericValue(json(numeric))) << numeric;
    for (const char* other : {"''", "'12X'", "'- 3'", "true", "null", "[1]"})
        EXPECT_FALSE(pulsar::isNumericValue(json(other))) << other;
    EXPECT_TRUE(pulsar::isNumericValue(cv::data_t::adopt(obclient_decimal(0x3100000000000001))));
    EXPECT_TRUE(pulsar::isNumericValue(cv::data_t::adopt(obclient_borrowed_string("4.2"))));

    cv::data_t series = json("{'units': 'V'}");
    EXPECT_EQ(errorOf([&] { pulsar::toMeasurementValue(series.get<cv::map_t>()); }),
              "'value' key missing from measurement value");
}

// Exact matches only: no case folding, no prefixes, no trimming.
template <class Parse, class Name>
void acceptsExactly(Parse parse, Name name, std::initializer_list<const char*> names,
                    std::initializer_list<const char*> others, const std::string& error)
{
    for (const char* text : names)
        EXPECT_STREQ(name(parse(text)).template get<const char*>(), text);
    for (const char* text : others)
        EXPECT_EQ(errorOf([&] { parse(text); }), error + text);
}

TEST_F(ConversionTest, StatusesAndSeveritiesAcceptExactlyTheirTables)
{
    acceptsExactly(pulsar::parseAlarmSeverity, pulsar::alarmSeverityName,
                   {"CRITICAL", "MAJOR", "MINOR", "WARNING"}, {"minor", "MAJORITY", ""},
                   "Unrecognized alarm severity: ");
    acceptsExactly(pulsar::parseAlarmStatus, pulsar::alarmStatusName, {"ACTIVE", "ACKNOWLEDGED", "CLEARED"},
                   {"ACTIVE "}, "Unrecognized alarm status: ");
    acceptsExactly(pulsar::parseOperationStatus, pulsar::operationStatusName,
                   {"SUCCESSFUL", "FAILED", "EXECUTING", "PENDING"}, {"FAILEDX"},
                   "Unrecognized operation status: ");
}

struct FaultCase {
    const char* path;
    const char* payload;
    const char* error;
};

#define VALID_TIME "'time': '2024-02-01T10:00:00Z'"

const FaultCase faultCases[] = {
    {"t/1/alarms", "{}", "Required key 'source' missing from message payload"},
    {"t/1/alarms", "{'source': {}, 'type': 't', 'text': 5}",
     "Required key 'time' missing from message payload"},
    {"t/1/alarms", "{'source': {}, 'type': 't', 'time': 17}",
     "Problem with key 'time': Incorrect type in get (you asked for string but it's actually integer)"},
    {"t/1/alarms", "{'source': {}, 'type': 't', 'time': 'yesterday'}",
     "Error parsing timestamp 'yesterday' in key 'time'"},
    {"t/1/alarms",
     "{'source': {}, 'type': 't', " VALID_TIME ", 'text': 'x', 'status': 'active', 'severity': 'minor'}",
     "Unrecognized alarm status: active"},
    {"t/1/alarms",
     "{'source': {}, 'type': 't', " VALID_TIME ", 'text': 'x', 'status': 'ACTIVE', 'severity': 'minor'}",
     "Required key 'id' missing from source"},
    {"t/1/alarms", "{'source': '4711', 'type': 't', " VALID_TIME ", 'text': 'x', 'status': 'ACTIVE'}",
     "Problem with key 'source': Incorrect type in get (you asked for map but it's actually string)"},
    {"t/1/alarms",
     "{'source': {'id': '1'}, 'type': 't', " VALID_TIME ", 'text': 'x', 'status': 'ACTIVE', 'severity': 5}",
     "Problem with key 'severity': Incorrect type in get (you asked for string but it's actually integer)"},
    {"t/1/alarms",
     "{'source': {'id': '1'}, 'type': 't', " VALID_TIME
     ", 'text': 5, 'status': 'ACTIVE', 'severity': 'MAJOR'}",
     "Required key 'count' missing from message payload"},
    {"t/1/alarms",
     "{'source': {'id': '1'}, 'type': 't', " VALID_TIME
     ", 'text': 'x', 'status': 'ACTIVE', 'severity': 'MAJOR', 'count': 1.0}",
     "Problem with key 'count': Incorrect type in get (you asked for integer but it's actually double)"},
    {"t/1/alarms",
     "{'source': {'id': 1}, 'type': 5, " VALID_TIME
     ", 'text': 5, 'status': 'ACTIVE', 'severity': 'MAJOR', 'count': 1, 'id': '2'}",
     "Value for key 'id' is not a string."},
    {"t/1/alarms",
     "{'source': {'id': '1'}, 'type': 5, " VALID_TIME
     ", 'text': 5, 'status': 'ACTIVE', 'severity': 'MAJOR', 'count': 1, 'id': '2'}",
     "Value for key 'text' is not a string."},
    {"t/1/events", "{'source': {}, 'type': 't', " VALID_TIME ", 'id': '2'}",
     "Required key 'text' missing from message payload"},
    {"t/1/events", "{'source': {'id': 7}, 'type': 5, " VALID_TIME ", 'text': 5, 'id': '2'}",
     "Value for key 'source' is not a string."},
    {"t/1/events", "{'source': {'id': '7'}, 'type': 5, " VALID_TIME ", 'text': 'x', 'id': '2'}",
     "Value for key 'type' is not a string."},
    {"t/1/measurements", "{'source': {}, 'type': 't', " VALID_TIME "}",
     "Required key 'id' missing from source"},
    {"t/1/measurements", "{'source': {'id': '1'}, 'type': 't', " VALID_TIME "}",
     "Required key 'id' missing from message payload"},
    {"t/1/measurements", "{'source': {'id': 1}, 'type': 5, " VALID_TIME ", 'id': '2'}",
     "Value for key 'source' is not a string."},
    {"t/1/managedobjects", "{'type': 5}", "Required key 'name' missing from message payload"},
    {"t/1/managedobjects", "{'type': 5, 'name': 5, 'id': 5}", "Value for key 'id' is not a string."},
    {"t/1/managedobjects", "{'type': 5, 'name': 5, 'id': '5'}", "Value for key 'name' is not a string."},
    {"t/1/managedobjects", "{'type': 5, 'name': 'n', 'id': '5'}", "Value for key 'type' is not a string."},
    {"t/1/operations", "{'source': {}, 'status': 'executing'}", "Unrecognized operation status: executing"},
    {"t/1/operations", "{'source': {}, 'status': 'EXECUTING', 'id': '9'}",
     "Required key 'id' missing from source"},
    {"t/1/operations", "{'source': {'id': '1'}, 'status': 'EXECUTING', 'id': '9'}",
     "Required key 'deviceId' missing from message payload"},
    {"t/1/operations", "{'source': {'id': 1}, 'status': 'EXECUTING', 'deviceId': 5}",
     "Value for key 'id' is not a string."},
    {"t/1/operations", "{'source': {'id': 1}, 'status': 'EXECUTING', 'deviceId': '5'}",
     "Value for key 'source' is not a string."},
    {"t/1/mx", "{}", "Unrecognised Pulsar message type: 'mx'"},
    {"t/1", "{}", "Unrecognised Pulsar message type: ''"},
    {"alarms", "{}", "Unrecognised Pulsar message type: ''"},
};

#undef VALID_TIME

TEST_F(ConversionTest, ReportsTheFirstFaultInStepOrder)
{
    for (const FaultCase& row : faultCases) {
        cv::Message message = notification(row.path, row.payload);
        EXPECT_EQ(errorOf([&] { pulsar::TessaroNotifications2Codec::createBuilder(message); }), row.error)
            << row.path << " " << row.payload;
    }
}

} // namespace
} // namespace codec_testing
