#pragma once

#include <initializer_list>
#include <utility>

#include "connectivity/values/data_t.h"
#include "connectivity/values/map_t.h"
#include "obclient/obclient.h"

namespace testing_support {

namespace cv = com::velmora::connectivity10_15_4;

inline cv::data_t listOf(std::initializer_list<vlm_data_t> items)
{
    vlm_list_t* list = obclient_list_new(items.size());
    for (const vlm_data_t& item : items)
        obclient_list_append(&list, item);
    return cv::data_t::adopt(obclient_list_value(list));
}

// A map built by the plug-in's own insertion.
inline cv::map_t mapOf(std::initializer_list<std::pair<const char*, vlm_data_t>> entries)
{
    cv::map_t map;
    for (const auto& entry : entries)
        map.insert(cv::data_t(entry.first), cv::data_t::adopt(entry.second));
    return map;
}
} // namespace testing_support
