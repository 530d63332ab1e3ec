// The host's values: vlm_copy_data shares no storage with its original but what the original does not
// own, the host's maps probe and compare keys as the plug-in does (tests/values compares the two), and
// the JSON writer shared by vlm_data_to_string and the replay tool's output.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <regex>

#include "tests/support/host_test.h"

namespace {

using HostValuesTest = testing_support::HostTest;

// Custom objects' callbacks count what they do.
int copies = 0;
int releases = 0;

void* copyPayload(void* user)
{
    ++copies;
    return new int(*static_cast<int*>(user));
}

void releasePayload(void* user)
{
    ++releases;
    delete static_cast<int*>(user);
}

using testing_support::jsonOf;

std::string randomDigits(std::mt19937_64& random, uint64_t count)
{
    std::string text;
    for (uint64_t i = 0; i < count; ++i)
        text.push_back(static_cast<char>('0' + random() % 10));
    return text;
}

TEST_F(HostValuesTest, ADeepCopyOfEveryKindNestedSurvivesTheOriginal)
{
    static const char borrowedText[] = "not owned";
    int shared = 0;
    const uint8_t bytes[] = {1, 2, 3};

    vlm_map_table_t* inner = nullptr;
    obclient_map_insert_string(&inner, "buffer", obclient_buffer(bytes, sizeof bytes));
    vlm_list_t* list = nullptr;
    for (vlm_data_t item :
         {obclient_string("owned"), obclient_borrowed_string(borrowedText), obclient_map_value(inner),
          obclient_custom(new int(7), copyPayload, releasePayload),
          obclient_custom(&shared, nullptr, nullptr), obclient_list_value(nullptr),
          obclient_map_value(nullptr), vlm_data_t{{}, VLM_TAG_BUFFER, 0}, obclient_integer(-5),
          obclient_double(2.5), obclient_decimal(0x3000000000000001), obclient_boolean(true), vlm_data_t{}})
        obclient_list_append(&list, item);
    vlm_map_table_t* outer = nullptr;
    obclient_map_set_name(&outer, "outer");
    obclient_map_insert_string(&outer, "items", obclient_list_value(list));
    vlm_data_t original = obclient_map_value(outer);
    const std::string before = jsonOf(original);
    EXPECT_EQ(before.find("outer"), std::string::npos) << "map names are not rendered";
    const obclient_counts_t withOriginal = obclient_live_counts();
    EXPECT_EQ(jsonOf(original), before) << "a custom object's marker changed";
    vlm_data_t copy = vlm_copy_data(original);
    const obclient_counts_t withCopy = obclient_live_counts();
    // Keys, texts, the name and the buffer are all duplicated, nothing shared.
    EXPECT_EQ((std::vector<std::int64_t>{
                  withCopy.strings - withOriginal.strings, withCopy.maps - withOriginal.maps,
                  withCopy.lists - withOriginal.lists, withCopy.buffers - withOriginal.buffers,
                  withCopy.customs - withOriginal.customs}),
              (std::vector<std::int64_t>{4, 2, 1, 1, 2}));
    EXPECT_EQ(copies, 1);
    EXPECT_STREQ(copy.payload.map->name, "outer");

    // Overwrite the original's texts before releasing it, so shared storage would show.
    vlm_data_t* ownedItem = vlm_list_items(list);
    std::memset(ownedItem->payload.string, 'x', std::strlen(ownedItem->payload.string));
    obclient_free_data(original);
    EXPECT_EQ(releases, 1);

    vlm_list_t* copiedList = obclient_map_find_string(copy.payload.map, "items")->payload.list;
    ASSERT_NE(copiedList, nullptr);
    ASSERT_EQ(copiedList->count, 13u);
    const vlm_data_t* items = vlm_list_items(copiedList);
    EXPECT_EQ(items[1].payload.borrowed, borrowedText);
    EXPECT_EQ(*static_cast<int*>(obclient_custom_user(items[3].payload.custom)), 7);
    EXPECT_EQ(obclient_custom_user(items[4].payload.custom), &shared);
    // The custom objects are new ones, so only their markers render differently.
    const auto withoutMarkers = [](const std::string& text) {
        return std::regex_replace(text, std::regex("\\{\"\\$custom\":[0-9]+\\}"), "custom");
    };
    EXPECT_EQ(withoutMarkers(jsonOf(copy)), withoutMarkers(before));

    obclient_free_data(copy);
    EXPECT_EQ(releases, 2);
}

TEST_F(HostValuesTest, KeysMatchByTagAndValueAndCustomKeysAreRefused)
{
    vlm_map_table_t* table = nullptr;
    EXPECT_EQ(obclient_map_insert(&table, obclient_string("1"), obclient_integer(1)), 1);
    EXPECT_EQ(obclient_map_insert(&table, obclient_integer(1), obclient_integer(2)), 1);
    EXPECT_EQ(obclient_map_insert(&table, obclient_double(0.0), obclient_integer(3)), 1);
    // A duplicate key is refused, and the key and value handed over are released.
    EXPECT_EQ(obclient_map_insert(&table, obclient_double(-0.0), obclient_string("dropped")), 0);
    EXPECT_EQ(obclient_map_insert(&table, obclient_double(NAN), obclient_integer(4)), 1);
    EXPECT_EQ(obclient_map_insert(&table, obclient_double(NAN), obclient_integer(5)), 1);
    EXPECT_EQ(table->count, 5u);
    EXPECT_EQ(obclient_map_find(table, obclient_double(-0.0))->payload.integer, 3);
    EXPECT_EQ(obclient_map_find(table, obclient_double(NAN)), nullptr);
    EXPECT_EQ(obclient_map_find(table, obclient_borrowed_string("1")), nullptr);
    vlm_free_map(table);

    // Nothing is taken: key and value stay with the caller.
    vlm_map_table_t* none = nullptr;
    vlm_data_t key = obclient_custom(nullptr, nullptr, nullptr);
    vlm_data_t value = obclient_string("kept by the caller");
    EXPECT_EQ(obclient_map_insert(&none, key, value), -1);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(obclient_map_find(none, key), nullptr);
    obclient_free_data(key);
    obclient_free_data(value);
}

TEST_F(HostValuesTest, ContainersAsKeysAreFoundByEqualCopies)
{
    vlm_map_table_t* keyMap = nullptr;
    obclient_map_insert_string(&keyMap, "x", obclient_integer(1));
    vlm_list_t* keyList = nullptr;
    obclient_list_append(&keyList, obclient_string("item"));
    vlm_map_table_t* table = nullptr;
    ASSERT_EQ(obclient_map_insert(&table, obclient_map_value(keyMap), obclient_integer(10)), 1);
    ASSERT_EQ(obclient_map_insert(&table, obclient_list_value(keyList), obclient_integer(20)), 1);
    const unsigned char bytes[] = {1, 2, 3};
    ASSERT_EQ(obclient_map_insert(&table, obclient_buffer(bytes, sizeof bytes), obclient_integer(40)), 1);
    // A map without a table is empty, and equal to any other such map.
    ASSERT_EQ(obclient_map_insert(&table, obclient_map_value(nullptr), obclient_integer(30)), 1);
    EXPECT_EQ(obclient_map_find(table, obclient_map_value(nullptr))->payload.integer, 30);

    vlm_data_t probeMap = vlm_copy_data(obclient_map_value(keyMap));
    vlm_data_t probeList = vlm_copy_data(obclient_list_value(keyList));
    EXPECT_EQ(obclient_map_find(table, probeMap)->payload.integer, 10);
    EXPECT_EQ(obclient_map_find(table, probeList)->payload.integer, 20);
    const vlm_data_t probeBuffer = obclient_buffer(bytes, sizeof bytes);
    EXPECT_EQ(obclient_map_find(table, probeBuffer)->payload.integer, 40);
    obclient_free_data(probeBuffer);
    // A name makes maps unequal even though it does not enter the hash.
    obclient_map_set_name(&probeMap.payload.map, "other");
    EXPECT_EQ(obclient_map_find(table, probeMap), nullptr);
    obclient_free_data(probeMap);
    obclient_free_data(probeList);
    vlm_free_map(table);
}

// Doubles with few decimals take a shortcut: its text must be the general shortest one that reads back,
// never looking like an integer, plain or with an exponent, for every double near such a text.
TEST_F(HostValuesTest, DoublesAreShortestAndNeverLookLikeIntegers)
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
TEST_F(HostValuesTest, TextsOfEveryLengthMatchEscapingAByteAtATime)
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
