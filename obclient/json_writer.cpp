#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "obclient/base64.h"
#include "obclient/map_probe.h"
#include "obclient/marked_forms.h"
#include "obclient/obclient.h"
#include "obclient/records.h"

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

constexpr uint64_t inEveryByte(uint8_t byte)
{
    return 0x0101010101010101ULL * byte;
}

// Nonzero when one of the eight bytes is a control character, a quote or a backslash: the
// classic word-at-a-time tests for a byte below a bound and for a byte equal to zero.
uint64_t needsEscapeInWord(uint64_t bytes)
{
    const uint64_t belowSpace = (bytes - inEveryByte(0x20)) & ~bytes;
    const uint64_t quote = bytes ^ inEveryByte('"');
    const uint64_t backslash = bytes ^ inEveryByte('\\');
    const uint64_t isQuote = (quote - inEveryByte(1)) & ~quote;
    const uint64_t isBackslash = (backslash - inEveryByte(1)) & ~backslash;
    return (belowSpace | isQuote | isBackslash) & inEveryByte(0x80);
}

// The same three kinds of byte, looked up one at a time.
constexpr std::array<bool, 256> escapedBytes = [] {
    std::array<bool, 256> escaped{};
    for (size_t byte = 0; byte < 0x20; ++byte)
        escaped[byte] = true;
    escaped['"'] = true;
    escaped['\\'] = true;
    return escaped;
}();

// Texts are mostly plain: they are scanned eight bytes at a time and copied in whole runs.
const char* endOfPlainRun(const char* text, const char* end)
{
    for (; end - text >= 8; text += 8) {
        uint64_t bytes;
        std::memcpy(&bytes, text, sizeof bytes);
        if (needsEscapeInWord(bytes) != 0)
            break;
    }
    while (text != end && !escapedBytes[static_cast<unsigned char>(*text)])
        ++text;
    return text;
}

void appendEscapedByte(std::string& out, unsigned char byte)
{
    switch (byte) {
    case '"':
        out.append("\\\"", 2);
        break;
    case '\\':
        out.append("\\\\", 2);
        break;
    case '\n':
        out.append("\\n", 2);
        break;
    case '\r':
        out.append("\\r", 2);
        break;
    case '\t':
        out.append("\\t", 2);
        break;
    case '\b':
        out.append("\\b", 2);
        break;
    case '\f':
        out.append("\\f", 2);
        break;
    default:
        out.append("\\u00", 4);
        out.push_back(hexDigits[byte >> 4]);
        out.push_back(hexDigits[byte & 0xF]);
        break;
    }
}

void appendEscaped(std::string& out, const char* text)
{
    const char* end = text + std::strlen(text);
    out.push_back('"');
    for (;;) {
        const char* runEnd = endOfPlainRun(text, end);
        out.append(text, static_cast<size_t>(runEnd - text));
        if (runEnd == end)
            break;
        appendEscapedByte(out, static_cast<unsigned char>(*runEnd));
        text = runEnd + 1;
    }
    out.push_back('"');
}

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

// Writes {"name": and leaves the form's value to the caller.
void openMarkedForm(std::string& out, const char* name)
{
    out.append("{\"");
    out.append(name);
    out.append("\":");
}

// Shortest text that reads back to the same double, always with a fraction or
// an exponent so that a reader never takes it for an integer.
void appendDouble(std::string& out, double number)
{
    if (std::isnan(number)) {
        openMarkedForm(out, value_text::marked::special);
        out.append("\"nan\"}");
        return;
    }
    if (std::isinf(number)) {
        openMarkedForm(out, value_text::marked::special);
        out.append(number > 0 ? "\"inf\"}" : "\"-inf\"}");
        return;
    }
    if (appendFewDecimals(out, number))
        return;
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, number).ptr;
    out.append(text, end);
    if (std::find_if(text, end, [](char c) { return c == '.' || c == 'e'; }) == end)
        out.append(".0");
}

void appendInteger(std::string& out, int64_t number)
{
    char text[24];
    char* end = std::to_chars(text, text + sizeof text, number).ptr;
    out.append(text, end);
}

void appendDecimal(std::string& out, uint64_t bits)
{
    openMarkedForm(out, value_text::marked::decimal);
    out.append("\"0x");
    for (int shift = 60; shift >= 0; shift -= 4)
        out.push_back(hexDigits[(bits >> shift) & 0xF]);
    out.append("\"}");
}

void appendBuffer(std::string& out, vlm_buffer_t* buffer)
{
    openMarkedForm(out, value_text::marked::buffer);
    out.push_back('"');
    if (buffer != nullptr)
        value_text::appendBase64(out, vlm_buffer_bytes(buffer), buffer->length);
    out.append("\"}");
}

void appendValue(std::string& out, const vlm_data_t& value);

void appendList(std::string& out, vlm_list_t* list)
{
    out.push_back('[');
    uint64_t count = list != nullptr ? list->count : 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (i != 0)
            out.push_back(',');
        appendValue(out, vlm_list_items(list)[i]);
    }
    out.push_back(']');
}

bool isStringKey(const vlm_data_t& key)
{
    return (key.tag == VLM_TAG_STRING || key.tag == VLM_TAG_BORROWED_STRING) &&
           key.payload.borrowed != nullptr;
}

// False, with part of the object written, at the first key that is not a text.
bool appendObject(std::string& out, vlm_map_table_t* table)
{
    out.push_back('{');
    vlm_map_slot_t* slots = vlm_map_slots(table);
    bool first = true;
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (!vlm::map_policy::isOccupiedSlot(slots[i]))
            continue;
        if (!isStringKey(slots[i].key))
            return false;
        if (!first)
            out.push_back(',');
        first = false;
        appendEscaped(out, slots[i].key.payload.borrowed);
        out.push_back(':');
        appendValue(out, slots[i].value);
    }
    out.push_back('}');
    return true;
}

void appendPairs(std::string& out, vlm_map_table_t* table)
{
    openMarkedForm(out, value_text::marked::map);
    out.push_back('[');
    vlm_map_slot_t* slots = vlm_map_slots(table);
    bool first = true;
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (!vlm::map_policy::isOccupiedSlot(slots[i]))
            continue;
        if (!first)
            out.push_back(',');
        first = false;
        out.push_back('[');
        appendValue(out, slots[i].key);
        out.push_back(',');
        appendValue(out, slots[i].value);
        out.push_back(']');
    }
    out.append("]}");
}

// Keys are nearly always texts, so the map is written as an object straight away and
// rewritten as pairs only when a key that is not a text turns up.
void appendMap(std::string& out, vlm_map_table_t* table)
{
    if (table == nullptr || table->count == 0) {
        out.append("{}");
        return;
    }
    const size_t start = out.size();
    if (appendObject(out, table))
        return;
    out.resize(start);
    appendPairs(out, table);
}

void appendValue(std::string& out, const vlm_data_t& value)
{
    switch (value.tag) {
    case VLM_TAG_EMPTY:
        out.append("null");
        break;
    case VLM_TAG_BOOLEAN:
        out.append(value.payload.boolean != 0 ? "true" : "false");
        break;
    case VLM_TAG_DOUBLE:
        appendDouble(out, value.payload.number);
        break;
    case VLM_TAG_INTEGER:
        appendInteger(out, value.payload.integer);
        break;
    case VLM_TAG_DECIMAL:
        appendDecimal(out, value.payload.bits);
        break;
    case VLM_TAG_STRING:
    case VLM_TAG_BORROWED_STRING:
        if (value.payload.borrowed == nullptr)
            out.append("null");
        else
            appendEscaped(out, value.payload.borrowed);
        break;
    case VLM_TAG_LIST:
        appendList(out, value.payload.list);
        break;
    case VLM_TAG_MAP:
        appendMap(out, value.payload.map);
        break;
    case VLM_TAG_BUFFER:
        appendBuffer(out, value.payload.buffer);
        break;
    case VLM_TAG_CUSTOM:
        openMarkedForm(out, value_text::marked::custom);
        appendInteger(out, static_cast<int64_t>(obclient::customSequence(value.payload.custom)));
        out.push_back('}');
        break;
    default:
        // No kind of ours: shown with its tag rather than hidden.
        out.append("{\"$invalid\":");
        appendInteger(out, value.tag);
        out.push_back('}');
        break;
    }
}

} // namespace

// Recursion stays inside the library (appendValue), not through the exported symbol.
void obclient_append_json(std::string& out, const vlm_data_t& value)
{
    appendValue(out, value);
}

vlm_data_t vlm_data_to_string(vlm_data_t value)
{
    std::string text;
    appendValue(text, value);
    return obclient_string_n(text.data(), text.size());
}
