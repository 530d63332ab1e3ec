#ifndef OBCLIENT_KEY_HASH_H
#define OBCLIENT_KEY_HASH_H

#include <cstdint>

#include "host/vlm_abi.h"

namespace obclient {

// The plug-in's key hash. False when the value is, or holds, a custom object,
// which has no hash.
bool tryHashKey(const vlm_data_t& key, uint64_t seed, uint64_t& hash);

} // namespace obclient

#endif
