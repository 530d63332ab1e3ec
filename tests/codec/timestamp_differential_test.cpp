// parseTimestamp against the plain model on generated and mutated texts: both
// give no result or the very same double.
#include <iomanip>
#include <random>

#include <boost/optional/optional_io.hpp>

#include "codec/timestamp.h"
#include "tests/support/host_test.h"
#include "tests/support/timestamp_model.h"

namespace {

namespace pulsar = com::velmora::connectivity::plugins::pulsar;

// Returns whether the text gave a result, after checking it against the model.
bool parsesLikeTheModel(const std::string& text)
{
    const boost::optional<double> model = testing_support::modelTimestamp(text.c_str());
    const boost::optional<double> parsed = pulsar::parseTimestamp(text.c_str());
    EXPECT_TRUE(testing_support::sameSeconds(parsed, model))
        << "'" << text << "': parseTimestamp" << std::setprecision(17) << parsed << ", model" << model;
    return parsed.has_value();
}

// Deterministic on every platform: only the engine's raw output is used.
struct TextSource {
    std::mt19937 engine{20240201};
    int below(int bound) { return static_cast<int>(engine() % static_cast<std::uint32_t>(bound)); }
    std::string digits(int count)
    {
        std::string text;
        while (count-- > 0)
            text += static_cast<char>('0' + below(10));
        return text;
    }
};

// The designators the platform writes, and look-alikes that must give no result or an odd one.
std::string anyZone(TextSource& source)
{
    const std::string sign = source.below(2) == 0 ? "+" : "-";
    const std::string hours = source.digits(2), minutes = source.digits(2);
    const int shape = source.below(16);
    if (shape < 3)
        return shape == 0 ? "Z" : shape == 1 ? "z" : "Zabc";
    if (shape < 7)
        return sign + hours + (shape < 5 ? ":" : "") + minutes;
    if (shape == 7) // a sixth character is still read for the sign of the minutes
        return sign + hours + minutes + (source.below(2) == 0 ? "-" : "+");
    if (shape == 8)
        return sign + hours + ":" + minutes + ":" + source.digits(2);
    // Cut short, unsigned, or with a stray character.
    const std::string others[] = {"",
                                  sign + hours,
                                  sign + hours + ":" + minutes.substr(0, 1),
                                  " " + hours + ":" + minutes,
                                  "Z" + hours + ":" + minutes,
                                  sign + hours.substr(0, 1) + ":" + minutes,
                                  hours + minutes};
    return others[shape - 9];
}

// Milliseconds mostly; otherwise one to a few dozen digits, or a point without any.
std::string anyFraction(TextSource& source)
{
    const int shape = source.below(6);
    if (shape == 1)
        return "." + source.digits(1 + source.below(12));
    if (shape == 2)
        return "." + std::string(source.below(20), '0') + source.digits(source.below(30));
    return shape == 0 ? "" : shape == 3 ? ".abc" : "." + source.digits(3);
}

class TimestampDifferentialTest : public testing_support::HostTest {};

TEST_F(TimestampDifferentialTest, ShapesWithFieldsInAndOutOfRange)
{
    TextSource source;
    int parsed = 0;
    for (int i = 0; i < 30000 && !HasFailure(); ++i) {
        // Mostly just around each limit std::get_time applies, sometimes anywhere in two digits.
        const bool anywhere = source.below(4) == 0;
        std::string text = source.digits(4);
        for (const auto& [separator, limit] :
             {std::pair{'-', 14}, {'-', 33}, {'T', 25}, {':', 61}, {':', 62}})
            text += separator + std::to_string(100 + source.below(anywhere ? 100 : limit)).substr(1);
        if (parsesLikeTheModel(text + anyFraction(source) + anyZone(source)))
            ++parsed;
    }
    EXPECT_GT(parsed, 5000);
}

TEST_F(TimestampDifferentialTest, EveryPositionReplacedInsertedOrRemoved)
{
    const char* const samples[] = {
        "2024-02-01T10:00:00.000Z",      "2024-02-01T10:00:00Z",           "2024-02-01T10:00:00.250+01:00",
        "2024-02-01T10:00:00-0530",      "1999-12-31T23:59:60.999-00:30",  "0000-01-01T00:00:00.007z",
        "9999-12-31T23:59:59.999+99:99", "1969-12-31T23:59:59.123456789Z", "2024-02-01T10:03:12.12+01:00",
    };
    // A NUL cuts the text there, so replacing by it gives every truncation.
    const char interesting[] = {' ', '\t', '+', '-', ':', '.', 'T',    't',    'Z',
                                'z', '0',  '1', '9', 'a', '/', '\x7f', '\xc3', '\0'};
    for (const std::string original : samples) {
        EXPECT_TRUE(parsesLikeTheModel(original)) << "'" << original << "' gave no result";
        for (std::size_t position = 0; position <= original.size() && !HasFailure(); ++position) {
            if (position < original.size())
                parsesLikeTheModel(std::string(original).erase(position, 1));
            for (char c : interesting) {
                parsesLikeTheModel(std::string(original).insert(position, 1, c).c_str());
                if (position < original.size())
                    parsesLikeTheModel(std::string(original).replace(position, 1, 1, c).c_str());
            }
        }
    }
    EXPECT_FALSE(pulsar::parseTimestamp(nullptr));
}

// The platform's own forms, and only they, take the reading at fixed places; were they left to
// the general one, the seconds would come out the same and only the time would show it.
TEST_F(TimestampDifferentialTest, ThePlatformsOwnFormsAndOnlyTheyTakeTheFastReading)
{
    const char* const fast[] = {
        "2024-02-01T10:03:12.000Z",      "2024-02-01T10:03:12.123+01:00", "2024-02-01T10:03:12.999-05:30",
        "2024-02-29T23:59:60.500+00:00", "0001-01-01T00:00:00.000Z",      "9999-12-31T23:59:59.999+14:00",
        "1969-12-31T23:59:59.001-00:30",
    };
    const char* const nearMisses[] = {
        "2024-02-01T10:03:12.000z",       "2024-02-01t10:03:12.000Z", "2024-02-01T10:03:12.00Z",
        "2024-02-01T10:03:12.0000Z",      "2024-02-01T10:03:12Z",     "2024-02-01T10:03:12.000+0100",
        "2024-02-01T10:03:12.000+01:000", "2024-13-01T10:03:12.000Z", "2024-02-01T24:03:12.000Z",
        "2024-02-01T10:03:12.00a+01:00",  "2024-02-01 10:03:12.000Z",
    };
    for (const char* text : fast) {
        double seconds = 0.0;
        EXPECT_TRUE(pulsar::readPlatformForm(text, seconds)) << "'" << text << "'";
        EXPECT_TRUE(parsesLikeTheModel(text)) << "'" << text << "' gave no result";
        EXPECT_TRUE(testing_support::sameSeconds(seconds, testing_support::modelTimestamp(text)))
            << "'" << text << "': fast reading " << std::setprecision(17) << seconds;
    }
    for (const char* text : nearMisses) {
        double seconds = 0.0;
        EXPECT_FALSE(pulsar::readPlatformForm(text, seconds)) << "'" << text << "'";
        parsesLikeTheModel(text);
    }
}

} // namespace
