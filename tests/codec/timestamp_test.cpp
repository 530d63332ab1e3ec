// Platform time texts to seconds since the epoch.
#include <ctime>

#include "codec/timestamp.h"
#include "codec/utc_time.h"
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
    {"2024-02-01T10:00:00.5Z", boost::none},
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
            EXPECT_DOUBLE_EQ(*seconds, *row.seconds) << row.text;
        }
    }
}

std::tm brokenDown(int year, int month, int day)
{
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    return time;
}

TEST_F(TimestampTest, CarriesFieldsOutsideTheirRangesLikeACalendar)
{
    EXPECT_EQ(pulsar::utcSecondsSinceEpoch(brokenDown(2023, 13, 1)), 1704067200);
    EXPECT_EQ(pulsar::utcSecondsSinceEpoch(brokenDown(2023, 2, 31)), 1677801600);
    EXPECT_EQ(pulsar::utcSecondsSinceEpoch(brokenDown(1900, 1, 1)), -2208988800);
    std::tm leapSecond = brokenDown(2024, 2, 1);
    leapSecond.tm_hour = 9;
    leapSecond.tm_min = 59;
    leapSecond.tm_sec = 60;
    EXPECT_EQ(pulsar::utcSecondsSinceEpoch(leapSecond), 1706781600);
}

} // namespace
