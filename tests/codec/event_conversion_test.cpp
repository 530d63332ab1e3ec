// Event notifications to events.
#include "codec/event_message_builder.h"
#include "tests/codec/conversion_support.h"
#include "tests/support/host_test.h"

namespace codec_testing {
namespace {

class EventConversionTest : public testing_support::HostTest {};

TEST_F(EventConversionTest, RealisticEventBecomesTheEvent)
{
    const cv::Message event = convert(&pulsar::createEventBuilder, R"({
        "source": {"id": "4711", "self": "https://example.invalid/4711"}, "type": "t5o_LocationUpdate",
        "time": "2024-02-01T10:00:00.000Z", "text": "Location updated", "id": "12",
        "firstOccurrenceTime": "2024-02-01T09:59:59.500Z", "creationTime": 1706781600,
        "t5o_Position": {"lat": 52.1, "lng": 4.3}})");
    EXPECT_EQ(event.getPayload(), json(R"({
        "id": "12", "source": "4711", "text": "Location updated", "time": 1706781600.0,
        "type": "t5o_LocationUpdate", "firstOccurrenceTime": 1706781599.5, "creationTime": 1706781600,
        "t5o_Position": {"lat": 52.1, "lng": 4.3}, "measurements": {}})"));
    EXPECT_EQ(event.getMetadata(), json("{'vlm.type': 'com.orbel.tessaro.Event'}").get<cv::map_t>());
}

} // namespace
} // namespace codec_testing
