// The host's lookups on its tables, by the probing rule the plug-in applies too.
#ifndef OBCLIENT_MAP_PROBE_H
#define OBCLIENT_MAP_PROBE_H

#include <cstdint>

#include "host/map_policy.h"
#include "host/vlm_abi.h"

namespace obclient {

struct ProbeResult {
    vlm_map_slot_t* match;    // the slot holding an equal key, or null
    vlm_map_slot_t* freeSlot; // where the key would go when absent, or null
};

ProbeResult probeMap(vlm_map_table_t* table, const vlm_data_t& key, uint64_t hash);

} // namespace obclient

#endif
