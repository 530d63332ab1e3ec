// Managed-object notifications to managed-object events: renamed fragments and a split position.
#include "codec/managed_object_builder.h"
#include "tests/codec/conversion_support.h"
#include "tests/support/host_test.h"

namespace codec_testing {
namespace {

class ManagedObjectConversionTest : public testing_support::HostTest {};

TEST_F(ManagedObjectConversionTest, FragmentsAreRenamedAndThePositionSplit)
{
    const cv::Message event = convert(&pulsar::createManagedObjectBuilder, R"({
        "id": "5", "name": "Pump 5", "owner": "service",
        "t5o_SupportedOperations": ["t5o_Restart", "t5o_Configuration"],
        "t5o_SupportedMeasurements": ["t5o_Temperature", 3],
        "t5o_Position": {"lat": 52.1, "lng": 4, "alt": "12", "accuracy": "high"},
        "childDevices": {"references": [{"id": "6"}]}, "childAssets": [], "childAdditions": "none",
        "deviceParents": [{"id": "1"}], "assetParents": null, "additionParents": 0,
        "creationTime": "2024-02-01T10:00:00Z", "lastUpdated": "2024-02-01T10:00:00.500Z",
        "firstOccurrenceTime": "2024-02-01T10:00:00Z"})");
    EXPECT_EQ(event.getPayload(), json(R"({
        "id": "5", "name": "Pump 5", "type": "", "owner": "service",
        "supportedOperations": ["t5o_Restart", "t5o_Configuration"],
        "supportedMeasurements": ["t5o_Temperature", 3],
        "position": {"lat": 52.1, "lng": 4, "alt": "12"}, "accuracy": "high",
        "childDeviceIds": {"references": [{"id": "6"}]}, "childAssetIds": [], "childAdditionIds": "none",
        "deviceParentIds": [{"id": "1"}], "assetParentIds": null, "additionParentIds": 0,
        "creationTime": 1706781600.0, "lastUpdated": 1706781600.5,
        "firstOccurrenceTime": "2024-02-01T10:00:00Z", "measurements": {}})"));
    EXPECT_EQ(event.getMetadata(), json("{'vlm.type': 'com.orbel.tessaro.ManagedObject'}").get<cv::map_t>());
}

TEST_F(ManagedObjectConversionTest, PositionsWithoutCoordinatesOrOfTheWrongKind)
{
    EXPECT_EQ(
        convert(&pulsar::createManagedObjectBuilder,
                "{'id': '5', 'name': 'n', 'type': 't', 't5o_Position': {'valid': true, 'id': 'p'},"
                " 't5o_SupportedOperations': 't5o_Restart'}")
            .getPayload(),
        json("{'id': 'p', 'name': 'n', 'type': 't', 'valid': true, 'supportedOperations': 't5o_Restart',"
             " 'measurements': {}}"));
    EXPECT_EQ(
        convert(&pulsar::createManagedObjectBuilder, "{'id': '5', 'name': 'n', 't5o_Position': 'Delft'}")
            .getPayload(),
        json("{'id': '5', 'name': 'n', 'type': '', 'measurements': {}}"));
}

} // namespace
} // namespace codec_testing
