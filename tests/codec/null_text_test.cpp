// A host string value whose text pointer is null: the stand-in never makes one,
// and the codec reads one made by hand as the empty text wherever it meets it.
#include <string>
#include <vector>

#include "codec/tessaro_notifications2_codec.h"
#include "tests/codec/conversion_support.h"
#include "tests/support/host_test.h"

namespace codec_testing {
namespace {

using pulsar::TessaroNotifications2Codec;

constexpr const char* category = "connectivity.notifications.chain1";

struct KeptCount : cv::HostSide {
    void sendBatchTowardsHost(cv::Message* start, cv::Message* end) override { kept = end - start; }
    std::ptrdiff_t kept = 0;
};

cv::data_t nullText()
{
    vlm_data_t record{};
    record.tag = VLM_TAG_STRING;
    return cv::data_t::adopt(record);
}

class NullTextTest : public testing_support::HostTest {
protected:
    // What the codec makes of an alarm whose string at `place` (a configuration
    // key, the path, or a payload key) is `text`: the event and the log lines.
    std::string outcome(const std::string& place, const cv::data_t& text)
    {
        clearLogLines();
        cv::data_t config = json("{}");
        cv::Message message = notification(
            "t1/x/alarms", "{'source': {'id': '4711'}, 'type': 't', 'time': '2024-02-01T10:00:00Z', 'text': "
                           "'x', 'status': 'ACTIVE', 'severity': 'MAJOR', 'count': 1, 'id': 'a1'}");
        cv::map_t& payload = message.getPayload().get<cv::map_t>();
        if (place.rfind("config.", 0) == 0)
            config.get<cv::map_t>()[cv::data_t(place.c_str() + 7)] = text;
        else if (place == "pulsarPath")
            message.getMetadata()[cv::data_t("pulsarPath")] = text;
        else
            payload[cv::data_t(place.c_str())] = text;

        TessaroNotifications2Codec codec(codecParameters(std::move(config.get<cv::map_t>())));
        auto next = std::make_unique<KeptCount>();
        const KeptCount& sink = *next;
        codec.setNextTowardsHost(std::move(next));
        codec.sendBatchTowardsHost(&message, &message + 1);

        std::string result = sink.kept == 1 ? cv::toString(message, false) : "dropped";
        for (const std::string& line : logTexts(category))
            result += "\n" + line;
        return result;
    }
};

TEST_F(NullTextTest, BuildersRefuseItAndTheCodecReadsItAsTheEmptyText)
{
    EXPECT_EQ(obclient_borrowed_string(nullptr).tag, VLM_TAG_EMPTY);
    EXPECT_EQ(obclient_string_n(nullptr, 3).tag, VLM_TAG_EMPTY);

    for (const char* place : {"pulsarPath", "time", "severity", "status", "config.tenantId",
                              "config.towardsHostChannelPrefix", "config.measurementSplittingChannel"}) {
        SCOPED_TRACE(place);
        EXPECT_EQ(outcome(place, nullText()), outcome(place, cv::data_t("")));
    }
}

} // namespace
} // namespace codec_testing
