// The key comparison every probe makes once a slot's hash matches: shared by the
// map and by what lays out a map's table ahead of it, which must find the same keys equal.
#pragma once

#include <cstring>

#include "connectivity/values/data_t.h"
#include "host/vlm_abi.h"

namespace com::velmora::connectivity10_15_4 {

// Keys are nearly always owned strings: those are compared without the general
// equality's dispatch.
inline bool sameKey(const vlm_data_t& stored, const data_t& key)
{
    const vlm_data_t& given = key.record();
    if (stored.tag == VLM_TAG_STRING && given.tag == VLM_TAG_STRING)
        return stored.payload.string == given.payload.string ||
               std::strcmp(stringText(stored.payload), stringText(given.payload)) == 0;
    return reinterpret_cast<const data_t&>(stored) == key;
}

} // namespace com::velmora::connectivity10_15_4
