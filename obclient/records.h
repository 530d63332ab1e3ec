// Deep copies of the host records, shared by vlm_copy_data and the user status store.
#ifndef OBCLIENT_RECORDS_H
#define OBCLIENT_RECORDS_H

#include <cstdint>

#include "host/vlm_abi.h"

namespace obclient {

// Each accepts null and then returns null.
vlm_map_table_t* copyMapTable(const vlm_map_table_t* table);
vlm_list_t* copyList(const vlm_list_t* list);
vlm_buffer_t* copyBuffer(const vlm_buffer_t* buffer);
void* copyCustom(const void* custom);

// The number that tells custom objects apart in their JSON form (0 for null).
uint64_t customSequence(const void* custom);

} // namespace obclient

#endif
