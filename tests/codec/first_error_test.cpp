// A notification with several faults reports the one its builder meets first.
#include "codec/tessaro_notifications2_codec.h"
#include "tests/codec/conversion_support.h"

namespace codec_testing {
namespace {

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
     ", 'text': 5, 'status': 'ACTIVE', 'severity': 'MAJOR', 'count': 1, 'id': 2}",
     "Value for key 'id' is not a string."},
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

class FirstErrorTest : public testing_support::HostTest {};

TEST_F(FirstErrorTest, ReportsTheFirstFaultInStepOrder)
{
    for (const FaultCase& row : faultCases) {
        cv::Message message = notification(row.path, row.payload);
        EXPECT_EQ(errorOf([&] { pulsar::TessaroNotifications2Codec::createBuilder(message); }), row.error)
            << row.path << " " << row.payload;
    }
}

} // namespace
} // namespace codec_testing
