// Turns fuzzer bytes into host values biased towards what the codec reads.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "host/vlm_abi.h"

namespace fuzzing {

vlm_data_t makeValue(FuzzedDataProvider& input, int depth);
vlm_data_t makeConfiguration(FuzzedDataProvider& input);
// Messages with a notification-shaped map payload, or anything else.
std::vector<vlm_message_t> makeBatch(FuzzedDataProvider& input);

} // namespace fuzzing
