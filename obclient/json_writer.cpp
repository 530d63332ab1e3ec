#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "obclient/map_probe.h"
#include "obclient/obclient.h"
#include "obclient/records.h"

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

void appendEscaped(std::string& out, const char* text)
{
    out.push_back('"');
    const char* runStart = text;
    for (const char* p = text; *p != '\0'; ++p) {
        auto byte = static_cast<unsigned char>(*p);
        if (byte >= 0x20 && byte != '"' && byte != '\\')
            continue;
        out.append(runStart, p);
        runStart = p + 1;
        switch (byte) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        default:
            out.append("\\u00");
            out.push_back(hexDigits[byte >> 4]);
            out.push_back(hexDigits[byte & 0xF]);
            break;
        }
    }
    out.append(runStart);
    out.push_back('"');
}

// Shortest text that reads back to the same double, always with a fraction or
// an exponent so that a reader never takes it for an integer.
void appendDouble(std::string& out, double number)
{
    if (std::isnan(number)) {
        out.append("{\"$double\":\"nan\"}");
        return;
    }
    if (std::isinf(number)) {
        out.append(number > 0 ? "{\"$double\":\"inf\"}" : "{\"$double\":\"-inf\"}");
        return;
    }
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
    out.append("{\"$decimal\":\"0x");
    for (int shift = 60; shift >= 0; shift -= 4)
        out.push_back(hexDigits[(bits >> shift) & 0xF]);
    out.append("\"}");
}

void appendBase64(std::string& out, const uint8_t* bytes, uint64_t length)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    uint64_t i = 0;
    for (; i + 3 <= length; i += 3) {
        uint32_t group = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out.push_back(alphabet[(group >> 18) & 63]);
        out.push_back(alphabet[(group >> 12) & 63]);
        out.push_back(alphabet[(group >> 6) & 63]);
        out.push_back(alphabet[group & 63]);
    }
    if (i == length)
        return;
    uint32_t group = uint32_t{bytes[i]} << 16;
    if (i + 1 < length)
        group |= uint32_t{bytes[i + 1]} << 8;
    out.push_back(alphabet[(group >> 18) & 63]);
    out.push_back(alphabet[(group >> 12) & 63]);
    out.push_back(i + 1 < length ? alphabet[(group >> 6) & 63] : '=');
    out.push_back('=');
}

void appendBuffer(std::string& out, vlm_buffer_t* buffer)
{
    out.append("{\"$buffer\":\"");
    if (buffer != nullptr)
        appendBase64(out, vlm_buffer_bytes(buffer), buffer->length);
    out.append("\"}");
}

void appendList(std::string& out, vlm_list_t* list)
{
    out.push_back('[');
    uint64_t count = list != nullptr ? list->count : 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (i != 0)
            out.push_back(',');
        obclient_append_json(out, vlm_list_items(list)[i]);
    }
    out.push_back(']');
}

bool isStringKey(const vlm_data_t& key)
{
    return (key.tag == VLM_TAG_STRING || key.tag == VLM_TAG_BORROWED_STRING) &&
           key.payload.borrowed != nullptr;
}

bool hasOnlyStringKeys(vlm_map_table_t* table)
{
    vlm_map_slot_t* slots = vlm_map_slots(table);
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (obclient::slotOccupied(slots[i]) && !isStringKey(slots[i].key))
            return false;
    }
    return true;
}

void appendMap(std::string& out, vlm_map_table_t* table)
{
    if (table == nullptr || table->count == 0) {
        out.append("{}");
        return;
    }
    const bool asObject = hasOnlyStringKeys(table);
    out.append(asObject ? "{" : "{\"$map\":[");
    vlm_map_slot_t* slots = vlm_map_slots(table);
    bool first = true;
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (!obclient::slotOccupied(slots[i]))
            continue;
        if (!first)
            out.push_back(',');
        first = false;
        if (asObject) {
            appendEscaped(out, slots[i].key.payload.borrowed);
            out.push_back(':');
            obclient_append_json(out, slots[i].value);
        } else {
            out.push_back('[');
            obclient_append_json(out, slots[i].key);
            out.push_back(',');
            obclient_append_json(out, slots[i].value);
            out.push_back(']');
        }
    }
    out.append(asObject ? "}" : "]}");
}

} // namespace

void obclient_append_json(std::string& out, const vlm_data_t& value)
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
        out.append("{\"$custom\":");
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

vlm_data_t vlm_data_to_string(vlm_data_t value)
{
    std::string text;
    obclient_append_json(text, value);
    return obclient_string_n(text.data(), text.size());
}
