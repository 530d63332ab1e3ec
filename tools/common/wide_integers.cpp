#include "tools/common/wide_integers.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace tools {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool fitsSixtyFourBits(std::string_view integer)
{
    const char* end = integer.data() + integer.size();
    if (integer.front() == '-') {
        int64_t value = 0;
        return std::from_chars(integer.data(), end, value).ec == std::errc();
    }
    uint64_t value = 0;
    return std::from_chars(integer.data(), end, value).ec == std::errc();
}

// Copies text, adding ".0" to every integer outside strings that 64 bits cannot hold;
// false when there is none.
bool widenIntegers(std::string_view text, std::string& widened)
{
    widened.clear();
    widened.reserve(text.size() + 16);
    bool changed = false;
    size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '"') {
            size_t end = at + 1;
            while (end < text.size() && text[end] != '"')
                end += text[end] == '\\' ? 2 : 1;
            end = std::min(end + 1, text.size());
            widened.append(text.substr(at, end - at));
            at = end;
            continue;
        }
        if (c != '-' && !isDigit(c)) {
            widened.push_back(c);
            ++at;
            continue;
        }
        // The whole number: sign, digits, then any fraction and exponent.
        const auto digitsFrom = [&text](size_t from) {
            while (from < text.size() && isDigit(text[from]))
                ++from;
            return from;
        };
        size_t end = digitsFrom(at + 1);
        const size_t integerEnd = end;
        if (end < text.size() && text[end] == '.')
            end = digitsFrom(end + 1);
        if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
            end += end + 1 < text.size() && (text[end + 1] == '+' || text[end + 1] == '-') ? 2 : 1;
            end = digitsFrom(end);
        }
        const std::string_view number = text.substr(at, end - at);
        widened.append(number);
        if (end == integerEnd && isDigit(number.back()) && !fitsSixtyFourBits(number)) {
            widened.append(".0");
            changed = true;
        }
        at = end;
    }
    return changed;
}

} // namespace

simdjson::error_code parseWideningIntegers(simdjson::dom::parser& parser, std::string_view text, bool padded,
                                           std::string& widened, simdjson::dom::element& json)
{
    const simdjson::error_code error = parser.parse(text.data(), text.size(), !padded).get(json);
    if (error != simdjson::NUMBER_ERROR || !widenIntegers(text, widened))
        return error;
    return parser.parse(widened).get(json);
}

} // namespace tools
