// The probing rule shared with the plug-in: a table built on one side of the
// boundary must be searchable from the other.
#ifndef OBCLIENT_MAP_PROBE_H
#define OBCLIENT_MAP_PROBE_H

#include <cstdint>

#include "host/vlm_abi.h"

namespace obclient {

inline bool slotEmpty(const vlm_map_slot_t& slot)
{
    return slot.key.tag == VLM_TAG_EMPTY && slot.hash == VLM_SLOT_EMPTY_HASH;
}

inline bool slotOccupied(const vlm_map_slot_t& slot)
{
    return slot.key.tag != VLM_TAG_EMPTY || slot.hash > VLM_SLOT_ERASED_HASH;
}

struct ProbeResult {
    vlm_map_slot_t* match;    // the slot holding an equal key, or null
    vlm_map_slot_t* freeSlot; // where the key would go when absent, or null
};

// Starts at hash mod capacity and steps forward with wrap until an empty slot
// or a full circle; the first erased slot passed is the free slot.
ProbeResult probeMap(vlm_map_table_t* table, const vlm_data_t& key, uint64_t hash);

} // namespace obclient

#endif
