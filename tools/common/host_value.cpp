#include "tools/common/host_value.h"

#include <cstdio>
#include <cstdlib>

#include "tools/common/texts.h"

namespace tools {

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

void checkHostValuesReleased(const char* toolName, const obclient_counts_t& before)
{
    const obclient_counts_t after = obclient_live_counts();
    if (after == before)
        return;
    std::fprintf(stderr, "%s: %s strings %+lld, maps %+lld, lists %+lld, buffers %+lld, customs %+lld\n",
                 toolName, texts::hostValuesLeft, static_cast<long long>(after.strings - before.strings),
                 static_cast<long long>(after.maps - before.maps),
                 static_cast<long long>(after.lists - before.lists),
                 static_cast<long long>(after.buffers - before.buffers),
                 static_cast<long long>(after.customs - before.customs));
    if (obclient_checked())
        std::abort();
}

} // namespace tools
