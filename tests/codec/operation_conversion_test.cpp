// Operation notifications to operation events.
#include "codec/operation_message_builder.h"
#include "tests/codec/conversion_support.h"
#include "tests/support/host_test.h"

namespace codec_testing {
namespace {

class OperationConversionTest : public testing_support::HostTest {};

TEST_F(OperationConversionTest, RealisticOperationBecomesTheOperationEvent)
{
    const cv::Message event = convert(&pulsar::createOperationBuilder, R"({
        "source": {"id": "4711"}, "status": "EXECUTING", "deviceId": "5", "id": "9",
        "creationTime": "2024-02-01T10:00:00Z", "time": "2024-02-01T10:00:00Z",
        "t5o_Restart": {}, "description": "Restart device"})");
    EXPECT_EQ(event.getPayload(), json(R"({
        "id": "9", "source": "4711", "status": "EXECUTING", "creationTime": 1706781600.0,
        "time": "2024-02-01T10:00:00Z", "t5o_Restart": {}, "description": "Restart device",
        "measurements": {}})"));
    EXPECT_EQ(event.getMetadata(), json("{'vlm.type': 'com.orbel.tessaro.Operation'}").get<cv::map_t>());
}

TEST_F(OperationConversionTest, WithoutItsOwnIdTheEventIsNamedByTheDevice)
{
    const cv::Message event = convert(&pulsar::createOperationBuilder,
                                      "{'source': {'id': '4711'}, 'status': 'PENDING', 'deviceId': '5'}");
    EXPECT_EQ(event.getPayload(),
              json("{'id': '5', 'source': '4711', 'status': 'PENDING', 'measurements': {}}"));
}

TEST_F(OperationConversionTest, StatusAcceptsExactlyItsTable)
{
    for (const char* status : {"SUCCESSFUL", "FAILED", "EXECUTING", "PENDING"})
        EXPECT_STREQ(pulsar::operationStatusName(pulsar::parseOperationStatus(status)).get<const char*>(),
                     status);
    for (const char* status : {"executing", "CANCELLED", "FAILEDX"})
        EXPECT_EQ(errorOf([&] { pulsar::parseOperationStatus(status); }),
                  std::string("Unrecognized operation status: ") + status);
}

} // namespace
} // namespace codec_testing
