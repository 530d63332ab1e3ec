// The host's JSON text of a value (vlm_data_to_string, and the tools' output):
// the walk over the kinds and the marked forms for those JSON lacks. Numbers,
// string escaping and base64 are modules of their own.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "obclient/base64.h"
#include "obclient/json_escape.h"
#include "obclient/json_numbers.h"
#include "obclient/map_probe.h"
#include "obclient/marked_forms.h"
#include "obclient/obclient.h"
#include "obclient/records.h"

namespace {

using obclient::json::appendEscaped;
using obclient::json::appendInteger;
using obclient::json::hexDigits;
using obclient::json::OutputCursor;

// Writes {"name": and leaves the form's value to the caller.
void openMarkedForm(OutputCursor& out, const char* name)
{
    out.putLiteral("{\"");
    out.put(name, std::strlen(name));
    out.putLiteral("\":");
}

// Shortest text that reads back to the same double, always with a fraction or
// an exponent so that a reader never takes it for an integer.
void appendDouble(OutputCursor& out, double number)
{
    if (std::isnan(number)) {
        openMarkedForm(out, value_text::marked::special);
        out.putLiteral("\"nan\"}");
        return;
    }
    if (std::isinf(number)) {
        openMarkedForm(out, value_text::marked::special);
        if (number > 0)
            out.putLiteral("\"inf\"}");
        else
            out.putLiteral("\"-inf\"}");
        return;
    }
    obclient::json::appendFiniteDouble(out, number);
}

void appendDecimal(OutputCursor& out, uint64_t bits)
{
    openMarkedForm(out, value_text::marked::decimal);
    out.putLiteral("\"0x");
    char* to = out.room(16);
    for (int shift = 60; shift >= 0; shift -= 4)
        *to++ = hexDigits[(bits >> shift) & 0xF];
    out.advance(to);
    out.putLiteral("\"}");
}

void appendBuffer(OutputCursor& out, vlm_buffer_t* buffer)
{
    openMarkedForm(out, value_text::marked::buffer);
    out.put('"');
    if (buffer != nullptr) {
        value_text::appendBase64(out.flush(), vlm_buffer_bytes(buffer), buffer->length);
        out.resume();
    }
    out.putLiteral("\"}");
}

void appendValue(OutputCursor& out, const vlm_data_t& value);

void appendList(OutputCursor& out, vlm_list_t* list)
{
    out.put('[');
    uint64_t count = list != nullptr ? list->count : 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (i != 0)
            out.put(',');
        appendValue(out, vlm_list_items(list)[i]);
    }
    out.put(']');
}

bool isStringKey(const vlm_data_t& key)
{
    return (key.tag == VLM_TAG_STRING || key.tag == VLM_TAG_BORROWED_STRING) &&
           key.payload.borrowed != nullptr;
}

// False, with part of the object written, at the first key that is not a text.
bool appendObject(OutputCursor& out, vlm_map_table_t* table)
{
    out.put('{');
    vlm_map_slot_t* slots = vlm_map_slots(table);
    bool first = true;
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (!vlm::map_policy::isOccupiedSlot(slots[i]))
            continue;
        if (!isStringKey(slots[i].key))
            return false;
        if (!first)
            out.put(',');
        first = false;
        appendEscaped(out, slots[i].key.payload.borrowed);
        out.put(':');
        appendValue(out, slots[i].value);
    }
    out.put('}');
    return true;
}

void appendPairs(OutputCursor& out, vlm_map_table_t* table)
{
    openMarkedForm(out, value_text::marked::map);
    out.put('[');
    vlm_map_slot_t* slots = vlm_map_slots(table);
    bool first = true;
    for (uint64_t i = 0; i < table->capacity; ++i) {
        if (!vlm::map_policy::isOccupiedSlot(slots[i]))
            continue;
        if (!first)
            out.put(',');
        first = false;
        out.put('[');
        appendValue(out, slots[i].key);
        out.put(',');
        appendValue(out, slots[i].value);
        out.put(']');
    }
    out.putLiteral("]}");
}

// Keys are nearly always texts, so the map is written as an object straight away and
// rewritten as pairs only when a key that is not a text turns up.
void appendMap(OutputCursor& out, vlm_map_table_t* table)
{
    if (table == nullptr || table->count == 0) {
        out.putLiteral("{}");
        return;
    }
    const size_t start = out.written();
    if (appendObject(out, table))
        return;
    out.rewind(start);
    appendPairs(out, table);
}

void appendValue(OutputCursor& out, const vlm_data_t& value)
{
    switch (value.tag) {
    case VLM_TAG_EMPTY:
        out.putLiteral("null");
        break;
    case VLM_TAG_BOOLEAN:
        if (value.payload.boolean != 0)
            out.putLiteral("true");
        else
            out.putLiteral("false");
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
            out.putLiteral("null");
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
        out.put('}');
        break;
    default:
        // No kind of ours: shown with its tag rather than hidden.
        out.putLiteral("{\"$invalid\":");
        appendInteger(out, value.tag);
        out.put('}');
        break;
    }
}

// Recursion stays inside the library (appendValue), not through the exported symbol.
void appendJson(std::string& out, const vlm_data_t& value)
{
    OutputCursor cursor(out);
    appendValue(cursor, value);
}

} // namespace

void obclient_append_json(std::string& out, const vlm_data_t& value)
{
    appendJson(out, value);
}

void obclient_append_json(obclient::json::OutputCursor& out, const vlm_data_t& value)
{
    appendValue(out, value);
}

vlm_data_t vlm_data_to_string(vlm_data_t value)
{
    std::string text;
    appendJson(text, value);
    return obclient_string_n(text.data(), text.size());
}
