#include "tools/replay/host_value.h"

namespace replay {

bool makeHostString(std::string_view text, HostValue& out)
{
    if (text.find('\0') != std::string_view::npos)
        return false;
    out.reset(obclient_string_n(text.data(), text.size()));
    return true;
}

void putMapEntry(vlm_map_table_t** table, const char* key, HostValue value)
{
    if (vlm_data_t* existing = obclient_map_find_string(*table, key)) {
        obclient_free_data(*existing);
        *existing = value.release();
        return;
    }
    obclient_map_insert_string(table, key, value.release());
}

} // namespace replay
