// Reading a notification consumes it; what no step claims is carried over as it came.
#include "codec/notification_keys.h"
#include "codec/orbel_message_builder.h"
#include "tests/codec/conversion_support.h"
#include "tests/support/host_test.h"

namespace codec_testing {
namespace {

namespace keys = pulsar::keys;

class PlainBuilder : public pulsar::OrbelMessageBuilder {
public:
    explicit PlainBuilder(cv::data_t id) : OrbelMessageBuilder(std::move(id), cv::data_t("test.Plain")) {}
};

class FieldOperationsTest : public testing_support::HostTest {};

TEST_F(FieldOperationsTest, TakingMovesTheValueOutAndErasesTheEntry)
{
    cv::data_t payload = json("{'source': {'id': '4711'}, 'type': 'x'}");
    cv::map_t& map = payload.get<cv::map_t>();
    const cv::map_t::iterator sourceEntry = map.find(cv::data_t("source"));
    ASSERT_TRUE(sourceEntry != map.end());
    const vlm_map_table_t* sourceTable = sourceEntry->second.get<cv::map_t>().table();
    const std::int64_t liveMaps = obclient_live_counts().maps;

    const cv::data_t source = pulsar::takeRequired(payload, keys::source);
    EXPECT_EQ(source.get<cv::map_t>().table(), sourceTable) << "the value was copied, not moved";
    EXPECT_EQ(obclient_live_counts().maps, liveMaps);
    EXPECT_EQ(map.size(), 1u);
    EXPECT_FALSE(pulsar::takeOptional(payload, keys::source));
    EXPECT_EQ(errorOf([&] { pulsar::takeRequired(payload, keys::source); }),
              "Required key 'source' missing from message payload");
    EXPECT_EQ(errorOf([&] { pulsar::takeRequired(map, keys::id, "source"); }),
              "Required key 'id' missing from source");
}

TEST_F(FieldOperationsTest, RequiredTimeIsParsedOrNamesWhatIsWrong)
{
    cv::data_t payload = json("{'time': '2024-02-01T10:00:00.000Z'}");
    EXPECT_EQ(pulsar::takeRequiredTime(payload), 1706781600.0);

    payload = json("{'time': 17}");
    EXPECT_EQ(
        errorOf([&] { pulsar::takeRequiredTime(payload); }),
        "Problem with key 'time': Incorrect type in get (you asked for string but it's actually integer)");
    payload = json("{'time': 'yesterday'}");
    EXPECT_EQ(errorOf([&] { pulsar::takeRequiredTime(payload); }),
              "Error parsing timestamp 'yesterday' in key 'time'");
    EXPECT_EQ(errorOf([&] { pulsar::takeRequiredTime(payload); }),
              "Required key 'time' missing from message payload");
    payload = json("['time']");
    EXPECT_EQ(errorOf([&] { pulsar::takeRequiredTime(payload); }),
              "Incorrect type in get (you asked for map but it's actually list)");
}

TEST_F(FieldOperationsTest, OptionalTimesAndLeftoversReachTheEventUnchangedUnlessTheyParse)
{
    cv::data_t payload =
        json("{'creationTime': '2024-02-01T10:00:00Z', 'lastUpdated': 'not a time',"
             " 'firstOccurrenceTime': 17, 'measurements': 5, 'nothing': null, 'id': 'replaced',"
             " 'fragment': {'list': [1, 'two', {'three': 3.0}]}}");
    PlainBuilder builder(cv::data_t("1"));
    pulsar::copyOptionalTime(keys::creationTime, payload, builder);
    pulsar::copyOptionalTime(keys::lastUpdated, payload, builder);
    pulsar::copyOptionalTime(keys::firstOccurrenceTime, payload, builder);
    pulsar::copyOptionalTime(keys::time, payload, builder);
    pulsar::copyLeftovers(payload, builder);
    EXPECT_TRUE(payload.get<cv::map_t>().empty());

    const cv::Message event = pulsar::finishBuilder(builder);
    EXPECT_EQ(event.getPayload(),
              json("{'id': 'replaced', 'creationTime': 1706781600.0, 'lastUpdated': 'not a time',"
                   " 'firstOccurrenceTime': 17, 'measurements': 5, 'nothing': null,"
                   " 'fragment': {'list': [1, 'two', {'three': 3.0}]}}"));
    EXPECT_EQ(event.getMetadata(), json("{'vlm.type': 'test.Plain'}").get<cv::map_t>());
}

TEST_F(FieldOperationsTest, EveryEventHoldsMeasurementsAndOnlyStringIdsAndMetadataKeys)
{
    PlainBuilder builder(cv::data_t::adopt(obclient_borrowed_string("borrowed")));
    EXPECT_EQ(errorOf([&] { builder.setMetadata(cv::data_t(std::int64_t{7}), 0, cv::data_t("x")); }),
              "Cannot use non-string keys into metadata");
    const cv::Message event = pulsar::finishBuilder(builder);
    EXPECT_EQ(event.getPayload().get<cv::map_t>().size(), 2u);
    EXPECT_EQ(field(event.getPayload(), "id"), cv::data_t::adopt(obclient_borrowed_string("borrowed")));
    EXPECT_EQ(field(event.getPayload(), "measurements"), json("{}"));

    EXPECT_EQ(errorOf([] { PlainBuilder(cv::data_t(std::int64_t{42})); }),
              "Value for key 'id' is not a string.");
    EXPECT_EQ(
        errorOf([] { pulsar::getIntegerFor(cv::data_t(1.0), keys::count); }),
        "Problem with key 'count': Incorrect type in get (you asked for integer but it's actually double)");
    EXPECT_EQ(errorOf([] { pulsar::requireString(keys::text, cv::data_t()); }),
              "Value for key 'text' is not a string.");
}

} // namespace
} // namespace codec_testing
