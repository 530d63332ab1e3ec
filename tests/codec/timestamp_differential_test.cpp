// The fast timestamp path against the std::get_time reference: on every text
// both give no result or the very same double, and the texts the fast path
// promises to read are read by it, not left to the reference.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "codec/timestamp.h"
#include "tests/support/host_test.h"

namespace {

namespace pulsar = com::velmora::connectivity::plugins::pulsar;

bool sameResult(const boost::optional<double>& a, const boost::optional<double>& b)
{
    if (!a || !b)
        return !a && !b;
    std::uint64_t aBits;
    std::uint64_t bBits;
    std::memcpy(&aBits, &*a, sizeof aBits);
    std::memcpy(&bBits, &*b, sizeof bBits);
    return aBits == bBits;
}

std::string describe(const boost::optional<double>& seconds)
{
    if (!seconds)
        return "no result";
    char text[64];
    std::snprintf(text, sizeof text, "%.17g (%a)", *seconds, *seconds);
    return text;
}

// Returns whether the fast path decided the text, after checking both paths against the reference.
bool decidesLikeTheReference(const std::string& text)
{
    const boost::optional<double> reference = pulsar::parseTimestampReference(text.c_str());
    const boost::optional<double> fast = pulsar::parseCanonicalTimestamp(text.c_str());
    const boost::optional<double> parsed = pulsar::parseTimestamp(text.c_str());
    if (fast) {
        EXPECT_TRUE(sameResult(fast, reference))
            << "'" << text << "': fast path " << describe(fast) << ", reference " << describe(reference);
    }
    EXPECT_TRUE(sameResult(parsed, reference))
        << "'" << text << "': parseTimestamp " << describe(parsed) << ", reference " << describe(reference);
    return fast.has_value();
}

// Deterministic on every platform: only the engine's raw output is used.
class TextSource {
public:
    int below(int bound) { return static_cast<int>(engine_() % static_cast<std::uint32_t>(bound)); }
    std::string digits(int count)
    {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += static_cast<char>('0' + below(10));
        return text;
    }
    std::string twoDigits(int value)
    {
        return std::string{static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
    }

private:
    std::mt19937 engine_{20240201};
};

struct Zone {
    std::string text;
    bool canonical;
};

// The forms the fast path reads, and look-alikes it must leave to the reference.
Zone anyZone(TextSource& source)
{
    const std::string sign = source.below(2) == 0 ? "+" : "-";
    const std::string hours = source.digits(2);
    const std::string minutes = source.digits(2);
    switch (source.below(16)) {
    case 0:
        return {"Z", true};
    case 1:
        return {"z", true};
    case 2:
        return {"Zabc", true};
    case 3:
    case 4:
        return {sign + hours + ":" + minutes, true};
    case 5:
    case 6:
        return {sign + hours + minutes, true};
    case 7:
        // A sixth character is still read for the sign of the minutes.
        return {sign + hours + minutes + (source.below(2) == 0 ? "-" : "+"), true};
    case 8:
        return {sign + hours + ":" + minutes + ":" + source.digits(2), true};
    case 9:
        return {"", false};
    case 10:
        return {sign + hours, false};
    case 11:
        return {sign + hours + ":" + minutes.substr(0, 1), false};
    case 12:
        return {" " + hours + ":" + minutes, false};
    case 13:
        return {"Z" + hours + ":" + minutes, false};
    case 14:
        return {sign + hours.substr(0, 1) + ":" + minutes, false};
    default:
        return {hours + minutes, false};
    }
}

class TimestampDifferentialTest : public testing_support::HostTest {};

TEST_F(TimestampDifferentialTest, CanonicalShapesWithFieldsInAndOutOfRange)
{
    TextSource source;
    int decided = 0;
    for (int i = 0; i < 30000; ++i) {
        // Mostly just around each limit std::get_time applies, sometimes anywhere in two digits.
        const bool anywhere = source.below(4) == 0;
        const int month = anywhere ? source.below(100) : source.below(14);
        const int day = anywhere ? source.below(100) : source.below(33);
        const int hour = anywhere ? source.below(100) : source.below(25);
        const int minute = anywhere ? source.below(100) : source.below(61);
        const int second = anywhere ? source.below(100) : source.below(62);
        std::string text = source.digits(4) + "-" + source.twoDigits(month) + "-" + source.twoDigits(day) +
                           "T" + source.twoDigits(hour) + ":" + source.twoDigits(minute) + ":" +
                           source.twoDigits(second);
        bool canonical =
            month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 && second <= 60;
        switch (source.below(4)) {
        case 0:
            break;
        case 1:
            // One, two or four digits put the zone window in the wrong place.
            text += "." + source.digits(1 + source.below(4));
            canonical = canonical && text.size() == 23;
            break;
        default:
            text += "." + source.digits(3);
        }
        const Zone zone = anyZone(source);
        text += zone.text;
        canonical = canonical && zone.canonical;
        if (decidesLikeTheReference(text))
            ++decided;
        else
            EXPECT_FALSE(canonical) << "'" << text << "' was left to the reference";
        if (HasFailure())
            return;
    }
    EXPECT_GT(decided, 5000);
}

TEST_F(TimestampDifferentialTest, EveryPositionReplacedInsertedOrRemoved)
{
    const char* const samples[] = {
        "2024-02-01T10:00:00.000Z",      "2024-02-01T10:00:00Z",          "2024-02-01T10:00:00.250+01:00",
        "2024-02-01T10:00:00-0530",      "1999-12-31T23:59:60.999-00:30", "0000-01-01T00:00:00.007z",
        "9999-12-31T23:59:59.999+99:99",
    };
    // A NUL cuts the text there, so replacing by it gives every truncation.
    const char interesting[] = {' ', '\t', '+', '-', ':', '.', 'T',    't',    'Z',
                                'z', '0',  '1', '9', 'a', '/', '\x7f', '\xc3', '\0'};
    for (const char* sample : samples) {
        const std::string original(sample);
        EXPECT_TRUE(decidesLikeTheReference(original)) << "'" << original << "' was left to the reference";
        for (std::size_t position = 0; position <= original.size(); ++position) {
            if (position < original.size())
                decidesLikeTheReference(std::string(original).erase(position, 1));
            for (char c : interesting) {
                std::string inserted = original;
                inserted.insert(position, 1, c);
                decidesLikeTheReference(inserted.c_str());
                if (position == original.size())
                    continue;
                std::string replaced = original;
                replaced[position] = c;
                decidesLikeTheReference(replaced.c_str());
            }
            if (HasFailure())
                return;
        }
    }
    EXPECT_FALSE(pulsar::parseCanonicalTimestamp(nullptr));
    EXPECT_FALSE(pulsar::parseTimestamp(nullptr));
}

} // namespace
