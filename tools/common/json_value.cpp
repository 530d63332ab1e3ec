#include "tools/common/json_value.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "obclient/base64.h"
#include "obclient/marked_forms.h"
#include "tools/common/texts.h"
#include "tools/common/wide_integers.h"

namespace tools {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// Host maps grow past three quarters full; room for every entry up front avoids regrowing while filling.
uint64_t mapCapacityFor(size_t entries)
{
    return entries + entries / 3 + 1;
}

// Takes key and value in every case: the host keeps them, or frees both when the key is
// already there. The answer is the host's: 1 inserted, 0 a duplicate key, -1 an unhashable key.
int insertEntry(vlm_map_table_t** table, HostValue key, HostValue value)
{
    const int inserted = obclient_map_insert(table, key.get(), value.get());
    if (inserted >= 0) {
        key.release();
        value.release();
    }
    return inserted;
}

std::string refusedKeyReason(int inserted, const std::string& keyJson)
{
    return inserted == 0 ? texts::duplicateKey + keyJson : texts::unhashableKey;
}

std::string tooManyEntries(const ReadLimits& limits)
{
    return texts::tooManyEntries + std::to_string(limits.maxObjectEntries) + texts::tooManyEntriesHint;
}

// Everything but objects and arrays. Inlined into the loops that fill containers
// too, so that a scalar entry, most entries, costs no recursive call.
[[gnu::always_inline]] inline bool buildScalar(const element& json, HostValue& out, std::string& reason,
                                               const ReadLimits& limits)
{
    switch (json.type()) {
    case element_type::STRING: {
        const std::string_view text = json.get_string().value_unsafe();
        if (!limits.textsMayHoldNul) {
            out.reset(obclient_string_n(text.data(), text.size()));
            return true;
        }
        if (makeHostString(text, out))
            return true;
        reason = texts::nulInText;
        return false;
    }
    case element_type::INT64:
        out.reset(obclient_integer(json.get_int64().value_unsafe()));
        return true;
    case element_type::UINT64:
        // Beyond the signed range an integer cannot be a host integer; the nearest double keeps its size.
        out.reset(obclient_double(static_cast<double>(json.get_uint64().value_unsafe())));
        return true;
    case element_type::DOUBLE:
        out.reset(obclient_double(json.get_double().value_unsafe()));
        return true;
    case element_type::BOOL:
        out.reset(obclient_boolean(json.get_bool().value_unsafe()));
        return true;
    case element_type::OBJECT:
    case element_type::ARRAY:
    case element_type::NULL_VALUE:
        break;
    }
    out.reset();
    return true;
}

// A list item or a map entry's value.
[[gnu::always_inline]] inline bool buildEntryValue(const element& json, HostValue& out, std::string& reason,
                                                   const ReadLimits& limits)
{
    const element_type type = json.type();
    if (type == element_type::OBJECT || type == element_type::ARRAY)
        return buildHostValue(json, out, reason, limits);
    return buildScalar(json, out, reason, limits);
}

bool buildList(simdjson::dom::array array, HostValue& out, std::string& reason, const ReadLimits& limits)
{
    HostValue list(obclient_list_value(obclient_list_new(array.size())));
    for (element item : array) {
        HostValue value;
        if (!buildEntryValue(item, value, reason, limits))
            return false;
        obclient_list_append(&list.get().payload.list, value.release());
    }
    out = std::move(list);
    return true;
}

bool buildMap(simdjson::dom::object object, HostValue& out, std::string& reason, const ReadLimits& limits)
{
    if (object.size() > limits.maxObjectEntries) {
        reason = tooManyEntries(limits);
        return false;
    }
    HostValue map(obclient_map_value(obclient_map_new(mapCapacityFor(object.size()))));
    for (simdjson::dom::key_value_pair field : object) {
        if (limits.textsMayHoldNul && field.key.find('\0') != std::string_view::npos) {
            reason = texts::nulInText;
            return false;
        }
        HostValue value;
        if (!buildEntryValue(field.value, value, reason, limits))
            return false;
        // The key is copied by the host only now, with the length the parser measured.
        const int inserted = obclient_map_insert_string_n(&map.get().payload.map, field.key.data(),
                                                          field.key.size(), value.get());
        if (inserted >= 0)
            value.release();
        if (inserted != 1) {
            reason = refusedKeyReason(inserted, '"' + std::string(field.key) + '"');
            return false;
        }
    }
    out = std::move(map);
    return true;
}

// "0x" and 1 to 16 hex digits: the host writer shows a decimal's 64 bits so.
bool readDecimalBits(std::string_view text, uint64_t& bits)
{
    if (text.size() < 3 || text.size() > 18 || text.substr(0, 2) != "0x")
        return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data() + 2, end, bits, 16);
    return error == std::errc() && stop == end;
}

bool buildDecimal(element marked, HostValue& out, std::string& reason)
{
    std::string_view text;
    uint64_t bits = 0;
    if (marked.get_string().get(text) || !readDecimalBits(text, bits)) {
        reason = texts::badDecimal;
        return false;
    }
    out.reset(obclient_decimal(bits));
    return true;
}

bool buildBuffer(element marked, HostValue& out, std::string& reason)
{
    std::string_view text;
    std::string bytes;
    if (marked.get_string().get(text) || !value_text::decodeBase64(text, bytes)) {
        reason = texts::badBuffer;
        return false;
    }
    out.reset(obclient_buffer(bytes.data(), bytes.size()));
    return true;
}

bool buildSpecialDouble(element marked, HostValue& out, std::string& reason)
{
    std::string_view text;
    if (marked.get_string().get(text) || (text != "nan" && text != "inf" && text != "-inf")) {
        reason = texts::badDouble;
        return false;
    }
    const double value = text == "nan"   ? std::numeric_limits<double>::quiet_NaN()
                         : text == "inf" ? std::numeric_limits<double>::infinity()
                                         : -std::numeric_limits<double>::infinity();
    out.reset(obclient_double(value));
    return true;
}

bool buildMapForm(element marked, HostValue& out, std::string& reason, const ReadLimits& limits)
{
    simdjson::dom::array pairs;
    if (marked.get_array().get(pairs)) {
        reason = texts::badMapForm;
        return false;
    }
    if (pairs.size() > limits.maxObjectEntries) {
        reason = tooManyEntries(limits);
        return false;
    }
    HostValue map(obclient_map_value(obclient_map_new(mapCapacityFor(pairs.size()))));
    for (element pair : pairs) {
        simdjson::dom::array entry;
        if (pair.get_array().get(entry) || entry.size() != 2) {
            reason = texts::badMapForm;
            return false;
        }
        HostValue key;
        HostValue value;
        if (!buildHostValue(entry.at(0).value_unsafe(), key, reason, limits) ||
            !buildHostValue(entry.at(1).value_unsafe(), value, reason, limits))
            return false;
        std::string keyJson;
        obclient_append_json(keyJson, key.get());
        const int inserted = insertEntry(&map.get().payload.map, std::move(key), std::move(value));
        if (inserted != 1) {
            reason = refusedKeyReason(inserted, keyJson);
            return false;
        }
    }
    out = std::move(map);
    return true;
}

enum class Marked { None, Built, Refused };

Marked buildMarkedForm(simdjson::dom::object object, HostValue& out, std::string& reason,
                       const ReadLimits& limits)
{
    if (object.size() != 1)
        return Marked::None;
    const simdjson::dom::key_value_pair field = *object.begin();
    bool built = false;
    if (field.key == value_text::marked::decimal)
        built = buildDecimal(field.value, out, reason);
    else if (field.key == value_text::marked::buffer)
        built = buildBuffer(field.value, out, reason);
    else if (field.key == value_text::marked::special)
        built = buildSpecialDouble(field.value, out, reason);
    else if (field.key == value_text::marked::map)
        built = buildMapForm(field.value, out, reason, limits);
    else if (field.key == value_text::marked::custom)
        reason = texts::customNotReadable;
    else
        return Marked::None;
    return built ? Marked::Built : Marked::Refused;
}

bool buildObject(simdjson::dom::object object, HostValue& out, std::string& reason, const ReadLimits& limits)
{
    switch (buildMarkedForm(object, out, reason, limits)) {
    case Marked::Built:
        return true;
    case Marked::Refused:
        return false;
    case Marked::None:
        break;
    }
    return buildMap(object, out, reason, limits);
}

} // namespace

bool buildHostValue(const element& json, HostValue& out, std::string& reason, const ReadLimits& limits)
{
    switch (json.type()) {
    case element_type::OBJECT:
        return buildObject(json.get_object().value_unsafe(), out, reason, limits);
    case element_type::ARRAY:
        return buildList(json.get_array().value_unsafe(), out, reason, limits);
    default:
        return buildScalar(json, out, reason, limits);
    }
}

ReadLimits limitsForText(std::string_view jsonText, ReadLimits limits)
{
    limits.textsMayHoldNul = jsonText.find("\\u0000") != std::string_view::npos;
    return limits;
}

std::string notJsonReason(simdjson::error_code error, bool cutShort)
{
    std::string reason = texts::notJson + std::string(simdjson::error_message(error));
    if (error == simdjson::NUMBER_ERROR)
        reason += texts::numberOutOfRange;
    if (cutShort)
        reason += texts::cutShort;
    return reason;
}

JsonText readJsonText(simdjson::dom::parser& parser, std::string_view text, HostValue& out,
                      std::string& reason)
{
    element json;
    std::string widened;
    if (parseWideningIntegers(parser, text, false, widened, json))
        return JsonText::NotJson;
    return buildHostValue(json, out, reason, limitsForText(text)) ? JsonText::Read : JsonText::Refused;
}

} // namespace tools
