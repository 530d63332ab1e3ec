#include "obclient/json_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace obclient::json {
namespace {

// Readings and times carry a few decimals, and the general shortest conversion is slow for
// them. While number * 10^k stays below 2^50, neighbouring doubles lie less than a quarter of
// 10^-k apart, so at most one text with k decimals reads back to the number; the fewest
// decimals that read back then give the shortest digits, the ones the general conversion finds.
constexpr int mostDecimalsTried = 6;
constexpr double powersOfTen[mostDecimalsTried + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
constexpr double fewDecimalsBound = 1125899906842624.0; // 2^50

int decimalDigitCount(uint64_t number)
{
    int count = 1;
    for (; number >= 10; number /= 10)
        ++count;
    return count;
}

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

// False, with nothing written, when the number has more decimals than tried, is zero (its
// sign needs the general path), or prints in the exponent form.
bool appendFewDecimals(std::string& out, double number)
{
    const double magnitude = std::fabs(number);
    for (int decimals = 0; decimals <= mostDecimalsTried; ++decimals) {
        const double scaled = magnitude * powersOfTen[decimals];
        if (!(scaled < fewDecimalsBound))
            return false;
        const auto digits = static_cast<uint64_t>(scaled + 0.5);
        if (static_cast<double>(digits) / powersOfTen[decimals] != magnitude)
            continue;
        if (digits == 0)
            return false;
        const int digitCount = decimalDigitCount(digits);
        const int significantDigits = decimals == 0 ? digitCount - trailingZeroCount(digits) : digitCount;
        if (!plainFormIsShorter(digitCount, decimals, significantDigits))
            return false;
        char text[24];
        char* end = std::to_chars(text, text + sizeof text, digits).ptr;
        if (number < 0)
            out.push_back('-');
        if (decimals == 0) {
            out.append(text, end);
            out.append(".0", 2);
        } else if (digitCount > decimals) {
            out.append(text, static_cast<size_t>(digitCount - decimals));
            out.push_back('.');
            out.append(end - decimals, static_cast<size_t>(decimals));
        } else {
            out.append("0.", 2);
            out.append(static_cast<size_t>(decimals - digitCount), '0');
            out.append(text, end);
        }
        return true;
    }
    return false;
}

} // namespace

void appendFiniteDouble(std::string& out, double number)
{
    if (appendFewDecimals(out, number))
        return;
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, number).ptr;
    out.append(text, end);
    if (std::find_if(text, end, [](char c) { return c == '.' || c == 'e'; }) == end)
        out.append(".0");
}

void appendInteger(std::string& out, std::int64_t number)
{
    char text[24];
    char* end = std::to_chars(text, text + sizeof text, number).ptr;
    out.append(text, end);
}

} // namespace obclient::json
