#include <cmath>
#include <cstring>

#include "connectivity/values/data_t.h"
#include "connectivity/values/list_t.h"
#include "connectivity/values/map_t.h"

namespace com::velmora::connectivity10_15_4 {

bool data_t::operator==(const data_t& other) const
{
    if (record_.tag != other.record_.tag)
        return false;
    const vlm_payload_t& a = record_.payload;
    const vlm_payload_t& b = other.record_.payload;
    switch (record_.tag) {
    case VLM_TAG_EMPTY:
        return true;
    case VLM_TAG_BOOLEAN:
        return a.boolean == b.boolean;
    case VLM_TAG_DOUBLE:
        // NaN equals nothing, and +0.0 equals -0.0: plain IEEE comparison.
        return a.number == b.number;
    case VLM_TAG_INTEGER:
    case VLM_TAG_DECIMAL:
        return a.bits == b.bits;
    case VLM_TAG_STRING:
    case VLM_TAG_BORROWED_STRING:
        return std::strcmp(stringText(a), stringText(b)) == 0;
    case VLM_TAG_LIST:
        return get<list_t>() == other.get<list_t>();
    case VLM_TAG_MAP:
        return get<map_t>() == other.get<map_t>();
    case VLM_TAG_BUFFER:
        return get<buffer_t>() == other.get<buffer_t>();
    default:
        // Custom values are never equal, not even to themselves; invalid tags neither.
        return false;
    }
}

} // namespace com::velmora::connectivity10_15_4
