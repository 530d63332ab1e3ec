#include "obclient/obclient.h"
#include "obclient/records.h"

namespace {

vlm_data_t valueOf(vlm_tag tag, vlm_payload_t payload)
{
    vlm_data_t value{};
    value.payload = payload;
    value.tag = tag;
    return value;
}

} // namespace

vlm_data_t obclient_boolean(bool value)
{
    vlm_payload_t payload{};
    payload.boolean = value ? 1 : 0;
    return valueOf(VLM_TAG_BOOLEAN, payload);
}

vlm_data_t obclient_double(double value)
{
    vlm_payload_t payload{};
    payload.number = value;
    return valueOf(VLM_TAG_DOUBLE, payload);
}

vlm_data_t obclient_integer(int64_t value)
{
    vlm_payload_t payload{};
    payload.integer = value;
    return valueOf(VLM_TAG_INTEGER, payload);
}

vlm_data_t obclient_decimal(uint64_t bits)
{
    vlm_payload_t payload{};
    payload.bits = bits;
    return valueOf(VLM_TAG_DECIMAL, payload);
}

vlm_data_t obclient_map_value(vlm_map_table_t* table)
{
    vlm_payload_t payload{};
    payload.map = table;
    return valueOf(VLM_TAG_MAP, payload);
}

vlm_data_t obclient_list_value(vlm_list_t* list)
{
    vlm_payload_t payload{};
    payload.list = list;
    return valueOf(VLM_TAG_LIST, payload);
}

void obclient_free_data(vlm_data_t value)
{
    switch (value.tag) {
    case VLM_TAG_STRING:
        vlm_free_string(value.payload.string);
        break;
    case VLM_TAG_LIST:
        vlm_free_vector(value.payload.list);
        break;
    case VLM_TAG_MAP:
        vlm_free_map(value.payload.map);
        break;
    case VLM_TAG_BUFFER:
        vlm_free_buffer(value.payload.buffer);
        break;
    case VLM_TAG_CUSTOM:
        vlm_free_custom(value.payload.custom);
        break;
    default:
        break;
    }
}

vlm_data_t vlm_copy_data(vlm_data_t value)
{
    vlm_data_t copy = value;
    switch (value.tag) {
    case VLM_TAG_STRING:
        copy.payload.string = vlm_copy_string(value.payload.string);
        break;
    case VLM_TAG_LIST:
        copy.payload.list = obclient::copyList(value.payload.list);
        break;
    case VLM_TAG_MAP:
        copy.payload.map = obclient::copyMapTable(value.payload.map);
        break;
    case VLM_TAG_BUFFER:
        copy.payload.buffer = obclient::copyBuffer(value.payload.buffer);
        break;
    case VLM_TAG_CUSTOM:
        copy.payload.custom = obclient::copyCustom(value.payload.custom);
        break;
    default:
        break;
    }
    return copy;
}
