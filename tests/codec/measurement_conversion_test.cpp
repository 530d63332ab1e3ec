// Measurement notifications to one measurement event each, fragments flattened into series.
#include "codec/measurement_message_builder.h"
#include "tests/codec/conversion_support.h"
#include "tests/support/host_test.h"

namespace codec_testing {
namespace {

constexpr const char* fixedKeys =
    "'source': {'id': '4711'}, 'type': 't5o_Climate', 'time': '2024-02-01T10:00:00Z', 'id': '77'";

class MeasurementConversionTest : public testing_support::HostTest {};

TEST_F(MeasurementConversionTest, FragmentsBecomeSeriesAndEverythingElseIsCopied)
{
    const cv::Message event = convert(&pulsar::createMeasurementBuilder, std::string("{") + fixedKeys + R"(,
        "t5o_Temperature": {"T": {"value": 21.5, "unit": "deg"}},
        "t5o_Voltage": {"V1": {"value": 1, "units": "V", "q": 2}, "V2": {"value": " 12.5e0", "units": 3}},
        "marker": {},
        "hex": {"H": {"value": "0x1A"}},
        "words": {"W": {"value": "high"}},
        "mixed": {"M1": {"value": 1}, "M2": 5},
        "noValue": {"N": {"units": "V"}},
        "creationTime": "2024-02-01T10:00:00Z", "firstOccurrenceTime": "2024-02-01T10:00:00Z"})");
    EXPECT_EQ(event.getPayload(), json(R"({
        "id": "77", "source": "4711", "time": 1706781600.0, "type": "t5o_Climate",
        "creationTime": 1706781600.0, "firstOccurrenceTime": "2024-02-01T10:00:00Z",
        "hex": {"H": {"value": "0x1A"}}, "words": {"W": {"value": "high"}},
        "mixed": {"M1": {"value": 1}, "M2": 5}, "noValue": {"N": {"units": "V"}},
        "measurements": {
            "T": {"value": 21.5, "params": {"unit": "deg"}},
            "V1": {"value": 1, "units": "V", "params": {"q": 2}},
            "V2": {"value": " 12.5e0", "units": 3, "params": {}}}})"));
    EXPECT_EQ(event.getMetadata(), json("{'vlm.type': 'com.orbel.tessaro.Measurement'}").get<cv::map_t>());
}

TEST_F(MeasurementConversionTest, TheSeriesMetFirstInIterationOrderWins)
{
    const std::string payload =
        std::string("{") + fixedKeys + ", 'A': {'T': {'value': 1}}, 'B': {'T': {'value': 2}}}";
    // Which fragment comes first depends on where the keys hash to, so ask the map.
    const cv::data_t notification = json(payload);
    std::int64_t firstValue = 0;
    for (const cv::map_entry_t& entry : notification.get<cv::map_t>()) {
        const std::string key = entry.first.get<const char*>();
        if (firstValue == 0 && (key == "A" || key == "B"))
            firstValue = key == "A" ? 1 : 2;
    }
    const cv::Message event = convert(&pulsar::createMeasurementBuilder, payload);
    EXPECT_EQ(codec_testing::field(event.getPayload(), "measurements"),
              json("{'T': {'value': " + std::to_string(firstValue) + ", 'params': {}}}"));
}

TEST_F(MeasurementConversionTest, ANotificationMeasurementsKeyWinsOverTheSeries)
{
    const cv::Message event =
        convert(&pulsar::createMeasurementBuilder,
                std::string("{") + fixedKeys + ", 'measurements': 5, 'F': {'T': {'value': 1}}}");
    EXPECT_EQ(event.getPayload(), json("{'id': '77', 'source': '4711', 'time': 1706781600.0, 'type': "
                                       "'t5o_Climate', 'measurements': 5}"));
}

TEST_F(MeasurementConversionTest, SeriesValuesAreNumbersOrTextsStartingWithADecimalNumber)
{
    for (const char* numeric : {"0", " -3", "1e3", "7 V", "inf"})
        EXPECT_TRUE(pulsar::isNumericValue(cv::data_t(numeric))) << numeric;
    for (const char* other : {"", "12X", "- 3"})
        EXPECT_FALSE(pulsar::isNumericValue(cv::data_t(other))) << other;
    EXPECT_TRUE(pulsar::isNumericValue(cv::data_t::adopt(obclient_decimal(0x3100000000000001))));
    EXPECT_TRUE(pulsar::isNumericValue(cv::data_t::adopt(obclient_borrowed_string("4.2"))));
    for (const char* other : {"true", "null", "[1]"})
        EXPECT_FALSE(pulsar::isNumericValue(json(other))) << other;

    cv::data_t series = json("{'units': 'V'}");
    EXPECT_EQ(errorOf([&] { pulsar::toMeasurementValue(series.get<cv::map_t>()); }),
              "'value' key missing from measurement value");
}

} // namespace
} // namespace codec_testing
