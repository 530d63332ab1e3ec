// Decodes fuzzer bytes into host values, biased towards what the codec reads.
// FuzzedDataProvider takes every choice (a kind, a count, flags, a number) from
// the end of the input and every text from its front, a backslash ending it;
// fuzz/encode_corpus.py writes the seed corpus the same way. In reading order:
//   value   := kind (of 12): 0 empty | 1 boolean | 2 double: special (0 NaN, 1 -0.0, 2 +inf, 3 -inf,
//              else 8 bytes of bits) | 3 integer: 8 bytes | 4 decimal: 8 bytes | 5 known text: index |
//              6 text | 7 borrowed known text: index | 8 buffer: text | 9 custom |
//              10 list: count (of 8), values | 11 map: count (of 32), (key value)...
//   message := flags (bit 0: has "pulsarPath", bit 1: the path is a known path given by an index,
//              else a value), then the payload value
//   input   := log level (of 4), configuration value, host batch, transport batch;
//   batch   := count (of 9), messages
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "host/vlm_abi.h"

namespace fuzzing {

vlm_data_t makeValue(FuzzedDataProvider& input, int depth);
std::vector<vlm_message_t> makeBatch(FuzzedDataProvider& input);

} // namespace fuzzing
