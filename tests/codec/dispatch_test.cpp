// The codec towards the host: its settings (an unusable one takes its default, and then the tools
// name it), the kind from the path, each event's type, channel and tenant, and drops with one line.
#include "codec/tessaro_notifications2_codec.h"
#include "tests/codec/conversion_support.h"
#include "tests/values/value_builders.h"
#include "tools/common/configuration_warnings.h"

namespace codec_testing {
namespace {

using pulsar::TessaroNotifications2Codec;

constexpr const char* category = "connectivity.notifications.chain1";

// Stands for the next element towards the host; remembers the ranges it was handed.
struct NextElement : cv::HostSide {
    void sendBatchTowardsHost(cv::Message* start, cv::Message* end) override
    {
        calls.emplace_back(start, end);
    }
    std::vector<std::pair<cv::Message*, cv::Message*>> calls;
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

struct ConfigurationCase {
    std::vector<std::pair<const char*, cv::data_t>> settings;
    const char* measurementChannel;
    const char* devicesChannel;
    const char* tenant;                // null: absent
    std::vector<std::string> warnings; // a piece of each line, in order
};

TEST_F(DispatchTest, UnusableValuesTakeTheDefaultAndExactlyThoseAreWarnedAbout)
{
    constexpr const char* prefix = "towardsHostChannelPrefix";
    constexpr const char* channel = "measurementSplittingChannel";
    constexpr const char* tenant = "tenantId";
    constexpr const char* measurements = "tessaro.measurements";
    constexpr const char* devices = "tessaro.devices";
    const std::string notRead = R"(" is not read by the codec, which reads "measurementSplittingChannel", )"
                                R"("towardsHostChannelPrefix", "tenantId")";
    const cv::data_t map(testing_support::mapOf({{"a", obclient_integer(1)}}));
    const cv::data_t list = testing_support::listOf({obclient_integer(1)});
    const cv::data_t lent = cv::data_t::adopt(obclient_borrowed_string("lent.lane"));
    const cv::data_t decimal = cv::data_t::adopt(obclient_decimal(2));
    const cv::data_t buffer = cv::data_t::adopt(obclient_buffer("\x01", 1));
    const std::string key = "configuration key \"";
    const std::string listLine = key + prefix + "\" holds a list, but the codec wants text, a number or a " +
                                 "boolean and takes its default, no prefix";
    const std::string integerLine =
        key + channel + "\" holds an integer, but the codec wants text and takes its default, \"" +
        measurements;
    const std::string nullLine = key + tenant +
                                 "\" holds nothing (null), but the codec wants text and takes " +
                                 "its default, no tenant";
    const ConfigurationCase cases[] = {
        {{{"unknownSetting", "x"}}, measurements, devices, nullptr, {key + "unknownSetting" + notRead}},
        {{{"tenantID", "wrong-case"}}, measurements, devices, nullptr, {key + "tenantID" + notRead}},
        {{{prefix, "site."}}, measurements, "site.tessaro.devices", nullptr, {}},
        {{{prefix, 7}}, measurements, "7tessaro.devices", nullptr, {}},
        {{{prefix, true}}, measurements, "truetessaro.devices", nullptr, {}},
        {{{prefix, -3}, {channel, ""}}, "", "-3tessaro.devices", nullptr, {}},
        {{{prefix, map}}, measurements, devices, nullptr, {"holds a map"}},
        {{{prefix, list}}, measurements, devices, nullptr, {listLine}},
        {{{prefix, decimal}}, measurements, devices, nullptr, {"holds a decimal"}},
        {{{channel, lent}}, "lent.lane", devices, nullptr, {}},
        {{{channel, 5}}, measurements, devices, nullptr, {integerLine}},
        {{{channel, true}}, measurements, devices, nullptr, {"holds a boolean"}},
        // The measurement channel is never prefixed.
        {{{channel, "fast.lane"}, {prefix, "site."}}, "fast.lane", "site.tessaro.devices", nullptr, {}},
        {{{tenant, "t12345"}}, measurements, devices, "t12345", {}},
        {{{tenant, ""}}, measurements, devices, nullptr, {}},
        {{{tenant, 12345}}, measurements, devices, nullptr, {"holds an integer"}},
        {{{tenant, 1.5}}, measurements, devices, nullptr, {"holds a fractional number"}},
        {{{tenant, buffer}}, measurements, devices, nullptr, {"holds a buffer"}},
        {{{tenant, cv::data_t()}}, measurements, devices, nullptr, {nullLine}},
        // In the order of the keys, whatever the map's own order.
        {{{"z", 1}, {"a", "x"}}, measurements, devices, nullptr, {key + "a" + notRead, key + "z" + notRead}},
    };
    for (const ConfigurationCase& expected : cases) {
        cv::map_t config;
        for (const auto& [name, value] : expected.settings)
            config[cv::data_t(name)] = value;
        const cv::data_t configValue(std::move(config));
        SCOPED_TRACE(cv::renderValue(configValue));
        std::unique_ptr<TessaroNotifications2Codec> codec;
        testing_support::standardErrorOf([&] { codec = makeCodec(configValue); });
        EXPECT_STREQ(codec->getMeasurementChannel().get<const char*>(), expected.measurementChannel);
        EXPECT_STREQ(codec->getDevicesChannel().get<const char*>(), expected.devicesChannel);
        EXPECT_STREQ(codec->getTenant() ? codec->getTenant()->get<const char*>() : nullptr, expected.tenant);

        const std::vector<std::string> warnings = tools::configurationWarnings(configValue.record());
        ASSERT_EQ(warnings.size(), expected.warnings.size());
        for (std::size_t i = 0; i < warnings.size(); ++i)
            EXPECT_NE(warnings[i].find(expected.warnings[i]), std::string::npos)
                << warnings[i] << "\nwants: " << expected.warnings[i];
    }
    EXPECT_TRUE(logLines().empty());
}

const std::string sourceTypeTime = "{'source': {'id': '4711'}, 'type': 't', 'time': '2024-02-01T10:00:00Z'";

std::string alarm(const char* id)
{
    return sourceTypeTime +
           ", 'text': 'x', 'status': 'ACTIVE', 'severity': 'MAJOR', 'count': 1, 'id': " + id + "}";
}

TEST_F(DispatchTest, BatchOfAllKindsKeepsTheSurvivorsInOrderAndReportsEachDropOnce)
{
    auto codec = makeCodec(json("{'tenantId': 'acme', 'towardsHostChannelPrefix': 'site.'}"));
    std::vector<cv::Message> batch;
    batch.push_back(notification("t1/x/alarms/17", alarm("'a1'")));
    batch.push_back(notification(
        "t1/x/events/3", sourceTypeTime + ", 'id': 'e-bad-with-an-id-too-long-to-be-kept-in-place'}"));
    batch.push_back(
        notification("t1/x/measurements2", sourceTypeTime + ", 'id': 'm1', 'tenantId': 'other'}"));
    batch.push_back(notification("a//managedobjects", "{'id': 'mo1', 'name': 'Pump'}"));
    batch.push_back(notification("t1/x/alarms", alarm("42")));
    batch.push_back(cv::Message(json("{'id': 'untouched'}"), json("{'other': 1}").get<cv::map_t>()));
    batch.push_back(
        notification("t1/x/operationsX", "{'source': {'id': '1'}, 'status': 'FAILED', 'deviceId': 'op1'}"));
    batch.push_back(notification("t1/x/events", sourceTypeTime + ", 'id': 'e1', 'text': 'fine'}"));
    batch.push_back(notification("t1/x/alarms", "'not a map'"));
    batch.push_back(notification("t1/x/measurements", "null"));
    batch.push_back(notification("t1/x/inventory/5", "{'id': 'x1'}"));
    // A path that is no text fails the typed read; the report still names the id.
    batch.push_back(notification("t1/x/alarms", alarm("'p1'")));
    batch.back().getMetadata()[cv::data_t("pulsarPath")] = cv::data_t(7);

    codec->sendBatchTowardsHost(batch.data(), batch.data() + batch.size());

    ASSERT_EQ(nextElement->calls, (decltype(nextElement->calls){{batch.data(), batch.data() + 7}}));
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

// A host text whose pointer is null, which the stand-in never makes, reads as "" wherever the codec meets it.
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
        std::string result =
            nextElement->calls.back().second == &message + 1 ? cv::toString(message, false) : "dropped";
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
