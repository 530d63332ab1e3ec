// The host's JSON writer, shared by vlm_data_to_string and the replay tool's output.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <random>

#include "tests/support/host_test.h"

namespace {

using JsonRenderingTest = testing_support::HostTest;
using testing_support::jsonOf;

std::string randomDigits(std::mt19937_64& random, uint64_t count)
{
    std::string text;
    for (uint64_t i = 0; i < count; ++i)
        text.push_back(static_cast<char>('0' + random() % 10));
    return text;
}

// Doubles with few decimals take a shortcut: its text must be the general shortest one that reads back,
// never looking like an integer, plain or with an exponent, for every double near such a text.
TEST_F(JsonRenderingTest, DoublesAreShortestAndNeverLookLikeIntegers)
{
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(jsonOf(obclient_double(infinity)), "{\"$double\":\"inf\"}");
    EXPECT_EQ(jsonOf(obclient_double(-infinity)), "{\"$double\":\"-inf\"}");
    EXPECT_EQ(jsonOf(obclient_double(std::nan(""))), "{\"$double\":\"nan\"}");
    const auto general = [](double number) {
        char text[32];
        const std::string out(text, std::to_chars(text, text + sizeof text, number).ptr);
        return out.find_first_of(".e") == std::string::npos ? out + ".0" : out;
    };
    std::mt19937_64 random(20240201);
    // A platform time, the sign of zero, the extremes, where the plain and the exponent forms swap,
    // and around 2^50 where the shortcut stops.
    std::vector<double> numbers;
    for (double edge : {1706781600.0, -0.0, 1e300, 5e-324, 100.0, 1e5, 1e6, 1234500.0, 0.001, 0.0001, 0.00012,
                        1e-6, 1e-7, 1125899906842623.0, 1125899906842624.0, 112589990684262.3})
        numbers.push_back(edge);
    for (int i = 0; i < 100000; ++i) {
        const std::string text = (random() % 2 == 0 ? "-" : "") + randomDigits(random, 1 + random() % 16) +
                                 "." + randomDigits(random, random() % 9);
        numbers.push_back(std::strtod(text.c_str(), nullptr));
    }
    for (double number : numbers) {
        for (double near : {number, std::nextafter(number, infinity), std::nextafter(number, -infinity)})
            ASSERT_EQ(jsonOf(obclient_double(near)), general(near)) << near;
    }
}

// Texts are scanned and copied in words, each text ending inside a last word, and room for escapes is
// made as they turn up: every length, and an escape at every place, against escaping a byte at a time,
// borrowed and pooled; the long texts make room in a run of escapes, after text already in the string.
TEST_F(JsonRenderingTest, TextsOfEveryLengthMatchEscapingAByteAtATime)
{
    const std::map<char, std::string> named = {{'"', "\\\""}, {'\\', "\\\\"}, {'\n', "\\n"}, {'\r', "\\r"},
                                               {'\t', "\\t"}, {'\b', "\\b"},  {'\f', "\\f"}};
    const auto escapedByteByByte = [&named](const std::string& text) {
        std::string out = "[1,\"";
        for (const char c : text) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(c));
            out += named.count(c) != 0                    ? named.at(c)
                   : static_cast<unsigned char>(c) < 0x20 ? hex
                                                          : std::string(1, c);
        }
        return out + "\"";
    };
    std::mt19937_64 random(20240202);
    const std::string plain = "az09 /~\x7f\xc3\xa9";
    const std::string escaped = "\"\\\n\r\t\b\f\x01\x1f";
    std::vector<std::string> texts = {std::string(3000, 'a') + std::string(3000, '"')};
    for (size_t length = 1; length <= 40; ++length) {
        for (size_t place = 0; place < length; ++place) {
            std::string text;
            for (size_t i = 0; i < length; ++i)
                text += plain[random() % plain.size()];
            text[place] = escaped[random() % escaped.size()];
            texts.push_back(text);
            texts.push_back(text.substr(0, place));
        }
    }
    for (size_t length = 1; length <= 300; ++length)
        texts.push_back(std::string(length, '\x01'));
    obclient_set_checked(false); // pooled texts, whose plain parts are read in whole blocks
    for (const std::string& text : texts) {
        const vlm_data_t owned = obclient_string_n(text.data(), text.size());
        for (const vlm_data_t value : {obclient_borrowed_string(text.c_str()), owned}) {
            std::string out = "[1,";
            obclient_append_json(out, value);
            EXPECT_EQ(out, escapedByteByByte(text)) << text;
        }
        obclient_free_data(owned);
    }
    obclient_set_checked(true);
}

} // namespace
