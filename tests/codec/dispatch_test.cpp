// The codec on the road towards the host: the path picks the kind, the event gets
// its type, channel and tenant, a failing notification is dropped with one line, and
// a null text reads as the empty one.

#include "codec/tessaro_notifications2_codec.h"
#include "tests/codec/conversion_support.h"

namespace codec_testing {
namespace {

using pulsar::TessaroNotifications2Codec;

constexpr const char* category = "connectivity.notifications.chain1";

// Stands for the next element towards the host; remembers the range it was handed.
struct NextElement : cv::HostSide {
    void sendBatchTowardsHost(cv::Message* start, cv::Message* end) override
    {
        received = start;
        count = end - start;
        ++calls;
    }
    cv::Message* received = nullptr;
    std::ptrdiff_t count = 0;
    int calls = 0;
};

class DispatchTest : public testing_support::HostTest {
protected:
    std::unique_ptr<TessaroNotifications2Codec> makeCodec(cv::data_t config)
    {
        auto codec =
            std::make_unique<TessaroNotifications2Codec>(codecParameters(std::move(config.get<cv::map_t>())));
        auto next = std::make_unique<NextElement>();
        nextElement = next.get();
        codec->setNextTowardsHost(std::move(next));
        return codec;
    }

    NextElement* nextElement = nullptr;
};

const char* const validTime = "'time': '2024-02-01T10:00:00Z'";

std::string alarm(const char* id)
{
    return std::string("{'source': {'id': '4711'}, 'type': 't', ") + validTime +
           ", 'text': 'x', 'status': 'ACTIVE', 'severity': 'MAJOR', 'count': 1, 'id': " + id + "}";
}

std::string event(const char* id, const char* text)
{
    return std::string("{'source': {'id': '4711'}, 'type': 't', ") + validTime + ", 'id': '" + id + "'" +
           text + "}";
}

TEST_F(DispatchTest, BatchOfAllKindsKeepsTheSurvivorsInOrderAndReportsEachDropOnce)
{
    auto codec = makeCodec(json("{'tenantId': 'acme', 'towardsHostChannelPrefix': 'site.'}"));
    std::vector<cv::Message> batch;
    batch.push_back(notification("t1/x/alarms/17", alarm("'a1'")));
    batch.push_back(
        notification("t1/x/events/3", event("e-bad-with-an-id-too-long-to-be-kept-in-place", "")));
    batch.push_back(
        notification("t1/x/measurements2", std::string("{'source': {'id': '4711'}, 'type': 't', ") +
                                               validTime + ", 'id': 'm1', 'tenantId': 'other'}"));
    batch.push_back(notification("a//managedobjects", "{'id': 'mo1', 'name': 'Pump'}"));
    batch.push_back(notification("t1/x/alarms", alarm("42")));
    batch.push_back(cv::Message(json("{'id': 'untouched'}"), json("{'other': 1}").get<cv::map_t>()));
    batch.push_back(
        notification("t1/x/operationsX", "{'source': {'id': '1'}, 'status': 'FAILED', 'deviceId': 'op1'}"));
    batch.push_back(notification("t1/x/events", event("e1", ", 'text': 'fine'")));
    batch.push_back(notification("t1/x/alarms", "'not a map'"));
    batch.push_back(notification("t1/x/measurements", "null"));
    batch.push_back(notification("t1/x/inventory/5", "{'id': 'x1'}"));
    // A path that is no text fails the typed read; the report still names the id.
    batch.push_back(notification("t1/x/alarms", alarm("'p1'")));
    batch.back().getMetadata()[cv::data_t("pulsarPath")] = cv::data_t(7);

    codec->sendBatchTowardsHost(batch.data(), batch.data() + batch.size());

    ASSERT_EQ(nextElement->calls, 1);
    ASSERT_EQ(nextElement->received, batch.data());
    ASSERT_EQ(nextElement->count, 7);
    const auto expectEvent = [&](std::size_t at, const char* type, const char* channel, const char* id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(field(batch[at].getPayload(), "id"), cv::data_t(id));
        EXPECT_EQ(field(batch[at].getPayload(), "tenantId"), cv::data_t("acme"));
        EXPECT_EQ(batch[at].getMetadata(),
                  json(std::string("{'vlm.type': '") + type + "', 'vlm.channel': '" + channel + "'}")
                      .get<cv::map_t>());
    };
    expectEvent(0, "com.orbel.tessaro.Alarm", "site.tessaro.devices", "a1");
    expectEvent(1, "com.orbel.tessaro.Measurement", "tessaro.measurements", "m1");
    expectEvent(2, "com.orbel.tessaro.ManagedObject", "site.tessaro.devices", "mo1");
    EXPECT_EQ(batch[3].getPayload(), json("{'id': 'untouched'}"));
    EXPECT_EQ(batch[3].getMetadata(), json("{'other': 1}").get<cv::map_t>());
    expectEvent(4, "com.orbel.tessaro.Operation", "site.tessaro.devices", "op1");
    expectEvent(5, "com.orbel.tessaro.Event", "site.tessaro.devices", "e1");
    EXPECT_TRUE(batch[6].getPayload().empty());
    EXPECT_EQ(batch[6].getMetadata().size(), 1u);

    const std::string prefix =
        std::string("3 <") + category + "> Error when transforming message towards host";
    EXPECT_EQ(
        logTexts(category),
        (std::vector<std::string>{
            prefix + " ('id' = 'e-bad-with-an-id-too-long-to-be-kept-in-place'): Required key 'text' "
                     "missing from message payload",
            prefix + ": Value for key 'id' is not a string.",
            prefix + ": Incorrect type in get (you asked for map but it's actually string)",
            prefix + " ('id' = 'x1'): Unrecognised Pulsar message type: 'inventory'",
            prefix + " ('id' = 'p1'): Incorrect type in get (you asked for string but it's actually integer)",
        }));
}

TEST_F(DispatchTest, TraceLineOnlyForANotificationWhenTheCategoryLogsLevelSix)
{
    cv::Message quiet = notification("t1/x/alarms", alarm("'a1'"));
    EXPECT_TRUE(makeCodec(json("{}"))->transformMessageTowardsHost(quiet));
    EXPECT_TRUE(logLines().empty());

    obclient_set_log_level(category, 6);
    auto codec = makeCodec(json("{}"));
    cv::Message traced = notification("t1/x/alarms", alarm("'a1'"));
    EXPECT_TRUE(codec->transformMessageTowardsHost(traced));
    // Without a path there is nothing to process, and outside a handler no error to report.
    cv::Message pathless(json("'any payload'"), json("{'path': 't1/x/alarms'}").get<cv::map_t>());
    EXPECT_TRUE(codec->transformMessageTowardsHost(pathless));
    EXPECT_FALSE(codec->handleTransformError(pathless, false));
    const std::vector<std::string> lines = logTexts(category);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(
                  std::string("6 <") + category +
                      "> Processing message: Message<metadata={\"pulsarPath\":\"t1/x/alarms\"}, payload={",
                  0),
              0u)
        << lines[0];
}

// A host string value whose text pointer is null: the stand-in never makes one, and the codec
// reads one made by hand as the empty text wherever it meets it (a configuration key, the path,
// or a payload key): the same event, or the same drop and lines, as with "".
TEST_F(DispatchTest, ANullTextReadsAsTheEmptyText)
{
    EXPECT_EQ(obclient_borrowed_string(nullptr).tag, VLM_TAG_EMPTY);
    EXPECT_EQ(obclient_string_n(nullptr, 3).tag, VLM_TAG_EMPTY);
    const vlm_data_t nullText{{}, VLM_TAG_STRING, 0};
    const auto outcome = [&](const std::string& place, const cv::data_t& text) {
        clearLogLines();
        cv::data_t config = json("{}");
        cv::Message message = notification("t1/x/alarms", alarm("'a1'"));
        if (place.rfind("config.", 0) == 0)
            config.get<cv::map_t>()[cv::data_t(place.c_str() + 7)] = text;
        else if (place == "pulsarPath")
            message.getMetadata()[cv::data_t("pulsarPath")] = text;
        else
            message.getPayload().get<cv::map_t>()[cv::data_t(place.c_str())] = text;
        auto codec = makeCodec(config);
        codec->sendBatchTowardsHost(&message, &message + 1);
        std::string result = nextElement->count == 1 ? cv::toString(message, false) : "dropped";
        for (const std::string& line : logTexts(category))
            result += "\n" + line;
        return result;
    };
    for (const char* place : {"pulsarPath", "time", "severity", "status", "config.tenantId",
                              "config.towardsHostChannelPrefix", "config.measurementSplittingChannel"}) {
        SCOPED_TRACE(place);
        EXPECT_EQ(outcome(place, cv::data_t::adopt(nullText)), outcome(place, cv::data_t("")));
    }
}

} // namespace
} // namespace codec_testing
