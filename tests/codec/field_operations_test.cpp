// Reading a notification consumes it: values move out of it rather than being
// copied. The texts of the reads' failures, in the order the builders meet them,
// are in first_error_test; copying what no step claims shows in the conversions.
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
}

TEST_F(FieldOperationsTest, EveryEventHoldsMeasurementsAndOnlyStringMetadataKeys)
{
    PlainBuilder builder(cv::data_t::adopt(obclient_borrowed_string("borrowed")));
    EXPECT_EQ(errorOf([&] { builder.setMetadata(cv::data_t(std::int64_t{7}), 0, cv::data_t("x")); }),
              "Cannot use non-string keys into metadata");
    const cv::Message event = pulsar::finishBuilder(builder);
    EXPECT_EQ(event.getPayload().get<cv::map_t>().size(), 2u);
    EXPECT_EQ(field(event.getPayload(), "id"), cv::data_t::adopt(obclient_borrowed_string("borrowed")));
    EXPECT_EQ(field(event.getPayload(), "measurements"), json("{}"));
    EXPECT_EQ(event.getMetadata(), json("{'vlm.type': 'test.Plain'}").get<cv::map_t>());
}

} // namespace
} // namespace codec_testing
