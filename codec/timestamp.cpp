#include "codec/timestamp.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <system_error>

#include "codec/utc_time.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

constexpr std::size_t dateTimeLength = 19;
constexpr std::size_t fractionStart = 20;
constexpr std::size_t millisecondDigits = 3;
constexpr std::size_t zoneWindow = 6;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// White space as the "C" locale has it; bytes above 127 are never space there.
bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads the first 19 characters as the standard time-get facility reads the
// format "%Y-%m-%dT%H:%M:%S", since that reading defines which texts are times:
// leading white space skipped, one to all digits per number within its range,
// "t" for "T", one blank allowed before the day, and a day of 31 in any month.
// It never steps over a NUL, so it cannot read past a short text.
class DateTimeScanner {
public:
    explicit DateTimeScanner(const char* text) : text_(text)
    {
        while (at_ < dateTimeLength && isSpace(text_[at_]))
            ++at_;
    }

    bool number(int maximumDigits, int lowest, int highest, int& value)
    {
        value = 0;
        int digits = 0;
        for (; digits < maximumDigits && at_ < dateTimeLength && isDigit(text_[at_]); ++digits, ++at_)
            value = value * 10 + (text_[at_] - '0');
        return digits > 0 && value >= lowest && value <= highest;
    }
    bool separator(char expected)
    {
        if (at_ == dateTimeLength || (text_[at_] != expected && !(expected == 'T' && text_[at_] == 't')))
            return false;
        ++at_;
        return true;
    }
    void skipBlank()
    {
        if (at_ < dateTimeLength && isSpace(text_[at_]))
            ++at_;
    }
    std::size_t position() const { return at_; }

private:
    const char* text_;
    std::size_t at_ = 0;
};

// `end` is where the reading stopped: the characters before it are known to be there.
bool readDateTime(const char* text, std::tm& brokenDown, std::size_t& end)
{
    brokenDown = std::tm{};
    DateTimeScanner scan(text);
    int year = 0;
    int month = 0;
    if (!scan.number(4, 0, 9999, year) || !scan.separator('-') || !scan.number(2, 1, 12, month) ||
        !scan.separator('-'))
        return false;
    scan.skipBlank();
    if (!scan.number(2, 1, 31, brokenDown.tm_mday) || !scan.separator('T') ||
        !scan.number(2, 0, 23, brokenDown.tm_hour) || !scan.separator(':') ||
        !scan.number(2, 0, 59, brokenDown.tm_min) || !scan.separator(':') ||
        !scan.number(2, 0, 60, brokenDown.tm_sec))
        return false;
    brokenDown.tm_year = year - 1900;
    brokenDown.tm_mon = month - 1;
    end = scan.position();
    return true;
}

// At least 20 characters with the separators in place; the first `known` are
// there already, so only the others are looked at for the end of the text.
bool hasDateTimeShape(const char* text, std::size_t known)
{
    for (std::size_t i = known; i <= dateTimeLength; ++i) {
        if (text[i] == '\0')
            return false;
    }
    return text[4] == '-' && text[7] == '-' && text[10] == 'T' && text[13] == ':' && text[16] == ':';
}

// A leading decimal integer as std::stoi reads it: white space, a sign, at least
// one digit. The zone window is too short for the value to leave int.
bool readLeadingInteger(const char* begin, const char* end, int& value)
{
    while (begin != end && isSpace(*begin))
        ++begin;
    const bool negative = begin != end && *begin == '-';
    if (begin != end && (*begin == '-' || *begin == '+'))
        ++begin;
    if (begin == end || !isDigit(*begin))
        return false;
    value = 0;
    for (; begin != end && isDigit(*begin); ++begin)
        value = value * 10 + (*begin - '0');
    if (negative)
        value = -value;
    return true;
}

// Seconds east of UTC for the up to six characters at `zone`, or none when only
// one of hours and minutes is there or one of them is no number.
boost::optional<std::int64_t> zoneOffset(const char* zone)
{
    std::size_t length = 0;
    const char* colon = nullptr;
    bool hasMinus = false;
    for (; length < zoneWindow && zone[length] != '\0'; ++length) {
        if (zone[length] == ':' && colon == nullptr)
            colon = zone + length;
        hasMinus = hasMinus || zone[length] == '-';
    }
    const char* const end = zone + length;
    const char* hoursEnd = zone;
    const char* minutesBegin = zone;
    const char* minutesEnd = zone;
    if (colon != nullptr) {
        hoursEnd = colon;
        minutesBegin = colon + 1;
        minutesEnd = end;
    } else if (length > 0 && (zone[0] == 'Z' || zone[0] == 'z')) {
        return std::int64_t{0};
    } else if (length > 3) {
        hoursEnd = zone + 3;
        minutesBegin = hoursEnd;
        minutesEnd = length > 5 ? zone + 5 : end;
    } else {
        return boost::none;
    }
    const bool noHours = hoursEnd == zone;
    const bool noMinutes = minutesEnd == minutesBegin;
    if (noHours || noMinutes)
        return noHours && noMinutes ? boost::optional<std::int64_t>(0) : boost::none;
    int hours = 0;
    int minutes = 0;
    if (!readLeadingInteger(zone, hoursEnd, hours) || !readLeadingInteger(minutesBegin, minutesEnd, minutes))
        return boost::none;
    // Hours carry their own sign; minutes take it from the designator, so -00:30 is half an hour west.
    return std::int64_t{hours} * 3600 + std::int64_t{minutes} * (hasMinus ? -1 : 1) * 60;
}

// whole + 0.<digits> as the nearest double: the exact sum is written out and
// read back once, so no intermediate rounding can tip it to a neighbour.
double addDecimalFraction(std::int64_t whole, const char* digits, std::size_t count)
{
    while (count > 0 && digits[count - 1] == '0')
        --count;
    if (count == 0)
        return static_cast<double>(whole);
    std::string exact;
    if (whole >= 0) {
        exact = std::to_string(whole) + '.';
        exact.append(digits, count);
    } else {
        // whole + f = -((-whole - 1) + (1 - f)); the digits of 1 - f are 9 - d, and 10 - d last.
        exact = '-' + std::to_string(-(whole + 1)) + '.';
        for (std::size_t i = 0; i + 1 < count; ++i)
            exact += static_cast<char>('9' - (digits[i] - '0'));
        exact += static_cast<char>('0' + 10 - (digits[count - 1] - '0'));
    }
    double seconds = 0.0;
    // Out of range only when the sum is too close to zero for any double but zero.
    if (std::from_chars(exact.data(), exact.data() + exact.size(), seconds).ec ==
        std::errc::result_out_of_range)
        return whole < 0 ? -0.0 : 0.0;
    return seconds;
}

int twoDigits(const char* at)
{
    return (at[0] - '0') * 10 + (at[1] - '0');
}

std::uint64_t loadWord(const char* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// The eight characters at text read against pattern, 'd' a digit and any other
// character itself, as the platform writes millions of times: false when one
// does not match, else their values, a byte each (a digit's value, 0 for the
// others). A digit is a byte whose xor with '0' is at most 9. The masks come
// from the pattern alone, so they fold to constants.
//
// "2024-02-" against "dddd-dd-", character 0 in the lowest byte (written here
// from byte 0 up):
//   text        32 30 32 34 2D 30 32 2D
//   expected    30 30 30 30 2D 30 30 2D   ('0' for a digit, else the character)
//   values      02 00 02 04 00 00 02 00   (text xor expected)
//   overNine    76 76 76 76 00 76 76 00   (0x76 + 9 = 0x7F, the largest sum without bit 7)
//   sum         78 76 78 7A 00 76 78 00   (values + overNine)
//   mustBeClear 80 80 80 80 FF 80 80 FF   (bit 7 of a digit, every bit of a separator)
// (sum | values) & mustBeClear is 0, so all eight match. In "2024-0a-" byte 5
// is 'a' ^ '0' = 0x51 and its sum 0xC7 has bit 7; ':' (0x3A, one past '9')
// gives 0x0A + 0x76 = 0x80; '/' for the '-' leaves 0x02 under 0xFF.
bool readWord(const char* text, const char (&pattern)[9], std::uint64_t& values)
{
    char expected[8];
    char overNine[8];
    char mustBeClear[8];
    for (std::size_t i = 0; i < 8; ++i) {
        const bool digit = pattern[i] == 'd';
        expected[i] = digit ? '0' : pattern[i];
        overNine[i] = static_cast<char>(digit ? 0x76 : 0);
        mustBeClear[i] = static_cast<char>(digit ? 0x80 : 0xFF);
    }
    values = loadWord(text) ^ loadWord(expected);
    // Adding 0x76 to a digit's value above 9 sets its top bit, which a value above
    // 0x89 has already (its carry only reaches a word that is wrong anyway); any
    // other character must match exactly.
    return (((values + loadWord(overNine)) | values) & loadWord(mustBeClear)) == 0;
}

// Each byte of digit values combined with the next one up: 10 x this + next,
// so byte i of the result is the two-digit number starting at character i.
// Values are at most 9, so a byte is at most 99 and carries into no other.
// The values of "2024-02-" above, 02 00 02 04 00 00 02 00, give
// 14 02 18 28 00 02 14 00: byte 0 is 20 and byte 2 is 24, the year 2024, and
// byte 5 is 2, the month (the bytes at separators are never read).
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "character i is byte i of a loaded word");
std::uint64_t twoDigitNumbers(std::uint64_t values)
{
    return values * 10 + (values >> 8);
}

int byteAt(std::uint64_t word, unsigned index)
{
    return static_cast<int>((word >> (8 * index)) & 0xFF);
}

// Read at fixed places; any other text, or a field out of range, is left to the
// general reading, which gives the same seconds for this form. The length is
// found first, reading at most one character past the longer form, so the
// characters before it can be read a word at a time.
} // namespace

bool readPlatformForm(const char* text, double& seconds) noexcept
{
    constexpr std::size_t utcLength = sizeof "2024-02-01T10:00:00.000Z" - 1;
    constexpr std::size_t offsetLength = sizeof "2024-02-01T10:00:00.000+01:00" - 1;
    constexpr std::size_t zoneAt = sizeof "2024-02-01T10:00:00.000" - 1;
    const std::size_t length = strnlen(text, offsetLength + 1);
    std::uint64_t date = 0;
    std::uint64_t clock = 0;
    std::uint64_t secondsAndFraction = 0;
    if ((length != utcLength && length != offsetLength) || !readWord(text, "dddd-dd-", date) ||
        !readWord(text + 8, "ddTdd:dd", clock) || !readWord(text + 15, "d:dd.ddd", secondsAndFraction))
        return false;
    const char* const zone = text + zoneAt;
    std::int64_t offset = 0;
    if (length == utcLength) {
        if (zone[0] != 'Z')
            return false;
    } else {
        if ((zone[0] != '+' && zone[0] != '-') || !isDigit(zone[1]) || !isDigit(zone[2]) || zone[3] != ':' ||
            !isDigit(zone[4]) || !isDigit(zone[5]))
            return false;
        const std::int64_t sign = zone[0] == '-' ? -1 : 1;
        offset = sign * (std::int64_t{twoDigits(zone + 1)} * 3600 + std::int64_t{twoDigits(zone + 4)} * 60);
    }
    const std::uint64_t dateNumbers = twoDigitNumbers(date);
    const std::uint64_t clockNumbers = twoDigitNumbers(clock);
    const std::uint64_t tailNumbers = twoDigitNumbers(secondsAndFraction);
    const int month = byteAt(dateNumbers, 5);
    const int day = byteAt(clockNumbers, 0);
    const int hour = byteAt(clockNumbers, 3);
    const int minute = byteAt(clockNumbers, 6);
    const int second = byteAt(tailNumbers, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    const std::int64_t wholeSeconds = utcSecondsSinceEpoch(
        byteAt(dateNumbers, 0) * 100 + byteAt(dateNumbers, 2), month, day, hour, minute, second);
    const int milliseconds = byteAt(tailNumbers, 5) * 10 + byteAt(secondsAndFraction, 7);
    seconds = static_cast<double>(wholeSeconds) + milliseconds / 1000.0 - static_cast<double>(offset);
    return true;
}

namespace {

// Out of line, so that the platform form's path sets up a small frame of its own.
[[gnu::noinline]] boost::optional<double> readGeneralForm(const char* text) noexcept
{
    std::tm brokenDown;
    std::size_t scanned = 0;
    if (!readDateTime(text, brokenDown, scanned) || !hasDateTimeShape(text, scanned))
        return boost::none;
    const std::int64_t seconds = utcSecondsSinceEpoch(brokenDown);
    double fraction = 0.0;
    std::size_t zoneStart = dateTimeLength;
    if (text[dateTimeLength] == '.') {
        const char* const digits = text + fractionStart;
        std::size_t count = 0;
        while (isDigit(digits[count]))
            ++count;
        if (count != 0 && count != millisecondDigits) {
            const boost::optional<std::int64_t> offset = zoneOffset(digits + count);
            if (!offset)
                return boost::none;
            return addDecimalFraction(seconds - *offset, digits, count);
        }
        // Three characters are always taken after the point and read as the number
        // "1" + them, less 1000; without digits that number is 1.
        if (count == 0 && (digits[0] == '\0' || digits[1] == '\0' || digits[2] == '\0'))
            return boost::none;
        int milliseconds = 1 - 1000;
        if (count == millisecondDigits)
            milliseconds = (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
        fraction = milliseconds / 1000.0;
        zoneStart = fractionStart + millisecondDigits;
    }
    const boost::optional<std::int64_t> offset = zoneOffset(text + zoneStart);
    if (!offset)
        return boost::none;
    return static_cast<double>(seconds) + fraction - static_cast<double>(*offset);
}

} // namespace

boost::optional<double> parseTimestamp(const char* text) noexcept
{
    if (text == nullptr)
        return boost::none;
    double platformSeconds = 0.0;
    if (readPlatformForm(text, platformSeconds))
        return platformSeconds;
    return readGeneralForm(text);
}

} // namespace com::velmora::connectivity::plugins::pulsar
