#include "obclient/json_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace obclient::json {
namespace {

// Readings and times carry a few decimals, and the general shortest conversion is slow for
// them. While number * 10^k stays below 2^50, neighbouring doubles lie less than a quarter of
// 10^-k apart, so at most one text with k decimals reads back to the number; the fewest
// decimals that read back then give the shortest digits, the ones the general conversion finds.
constexpr int mostDecimalsTried = 6;
constexpr double powersOfTen[mostDecimalsTried + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
constexpr double fewDecimalsBound = 1125899906842624.0; // 2^50

// Room for any number's text: the general conversion's longest double is 24 characters, and ".0"
// may follow it.
constexpr size_t longestText = 32;
constexpr size_t mostDigits = 20; // of a uint64_t

int trailingZeroCount(uint64_t number)
{
    int count = 0;
    for (; number % 10 == 0; number /= 10)
        ++count;
    return count;
}

// The general conversion prints whichever of the plain and the exponent form is shorter
// (the plain one on a tie); an exponent here has two digits.
bool plainFormIsShorter(int digitCount, int decimals, int significantDigits)
{
    const int plainLength = decimals == 0 ? digitCount : std::max(digitCount, decimals + 1) + 1;
    const int exponentLength = significantDigits + (significantDigits > 1 ? 1 : 0) + 4;
    return plainLength <= exponentLength;
}

// Null, with nothing written, when the number has more decimals than tried, is zero (its
// sign needs the general path), or prints in the exponent form; else the end of its text at `to`.
// The digits are moved with copies of a fixed size, which cost a few stores, and the room holds
// what they write past the text's end.
char* writeFewDecimals(char* to, double number)
{
    const double magnitude = std::fabs(number);
    for (int decimals = 0; decimals <= mostDecimalsTried; ++decimals) {
        const double scaled = magnitude * powersOfTen[decimals];
        if (!(scaled < fewDecimalsBound))
            return nullptr;
        const auto digits = static_cast<uint64_t>(scaled + 0.5);
        if (static_cast<double>(digits) / powersOfTen[decimals] != magnitude)
            continue;
        if (digits == 0)
            return nullptr;
        char digitsText[24] = {};
        const int digitCount =
            static_cast<int>(std::to_chars(digitsText, digitsText + mostDigits, digits).ptr - digitsText);
        const int significantDigits = decimals == 0 ? digitCount - trailingZeroCount(digits) : digitCount;
        if (!plainFormIsShorter(digitCount, decimals, significantDigits))
            return nullptr;
        if (number < 0)
            *to++ = '-';
        const int wholeDigits = digitCount - decimals;
        if (wholeDigits > 0) {
            std::memcpy(to, digitsText, sizeof digitsText);
            to += wholeDigits;
        } else {
            *to++ = '0';
        }
        *to++ = '.';
        if (decimals == 0) {
            *to++ = '0';
            return to;
        }
        if (wholeDigits >= 0) {
            std::memcpy(to, digitsText + wholeDigits, 8);
        } else {
            std::memset(to, '0', 8);
            std::memcpy(to - wholeDigits, digitsText, 8);
        }
        return to + decimals;
    }
    return nullptr;
}

} // namespace

void appendFiniteDouble(OutputCursor& out, double number)
{
    char* to = out.room(longestText);
    char* end = writeFewDecimals(to, number);
    if (end == nullptr) {
        end = std::to_chars(to, to + longestText, number).ptr;
        if (std::find_if(to, end, [](char c) { return c == '.' || c == 'e'; }) == end) {
            std::memcpy(end, ".0", 2);
            end += 2;
        }
    }
    out.advance(end);
}

void appendInteger(OutputCursor& out, std::int64_t number)
{
    char* to = out.room(longestText);
    out.advance(std::to_chars(to, to + longestText, number).ptr);
}

} // namespace obclient::json
