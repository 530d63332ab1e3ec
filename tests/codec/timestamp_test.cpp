// Platform time texts to seconds since the epoch.
#include "codec/timestamp.h"
#include "tests/support/host_test.h"

namespace {

namespace pulsar = com::velmora::connectivity::plugins::pulsar;

struct TimestampCase {
    const char* text;
    boost::optional<double> seconds;
};

const TimestampCase timestampCases[] = {
    {"2024-02-01T10:00:00.000Z", 1706781600.0},
    {"2024-02-01T10:00:00Z", 1706781600.0},
    {"2024-02-01T10:00:00.250+01:00", 1706778000.25},
    {"2024-02-01T10:00:00-0530", 1706801400.0},
    // Hours keep their own sign, so the minutes take it from the designator.
    {"2024-02-01T10:00:00-00:30", 1706783400.0},
    {"2024-02-01T10:00:00.007Z", 1706781600.007},
    {"2024-02-01T10:00:00.000z", 1706781600.0},
    {"2024-02-01T10:00:00.000Zabc", 1706781600.0},
    {"1969-12-31T23:59:59Z", -1.0},
    {"2024-02-29T00:00:00Z", 1709164800.0},
    {"2100-03-01T00:00:00Z", 4107542400.0},
    {"2040-01-01T00:00:00Z", 2208988800.0},
    {"2024-02-01T10:00:00Z12:00", boost::none},
    {"2024-02-01T10:00:00", boost::none},
    {"2024-02-01T10:00:00+01", boost::none},
    {"2024-02-01T10:00:00+ab:cd", boost::none},
    {"2024-02-01 10:00:00Z", boost::none},
    {"2024-02-01t10:00:00Z", boost::none},
    {"2024-13-01T10:00:00Z", boost::none},
    // Other than three digits: the decimal they write, and the zone right after them.
    {"2024-02-01T10:00:00.5Z", 1706781600.5},
    {"2024-02-01T10:00:00.12+01:00", 1706778000.12},
    {"2024-02-01T10:03:12.123456+01:00", 1706778192.123456},
    {"2024-02-01T10:00:00.123456789Z", 1706781600.123456789},
    {"2024-02-01T10:00:00.abcZ", 1706781599.001},
    {"", boost::none},
    {nullptr, boost::none},
};

class TimestampTest : public testing_support::HostTest {};

TEST_F(TimestampTest, GivesSecondsOrNoResult)
{
    for (const TimestampCase& row : timestampCases) {
        const boost::optional<double> seconds = pulsar::parseTimestamp(row.text);
        EXPECT_EQ(seconds.has_value(), row.seconds.has_value()) << (row.text ? row.text : "(null)");
        if (seconds && row.seconds) {
            EXPECT_EQ(*seconds, *row.seconds) << row.text;
        }
    }
}

} // namespace
