// Decodes fuzzer bytes into host values, biased towards what the codec reads.
// The encoding (fuzz/encode_corpus.py writes it for the seed corpus):
//   value   := kind byte, then by kind (mod 12): 0 empty | 1 boolean: byte | 2 double: special byte
//              (0 NaN, 1 -0.0, 2 +inf, 3 -inf, else 8 bytes little-endian) | 3 integer: 8 bytes |
//              4 decimal: 8 bytes | 5 known text: index byte | 6 text: length byte, bytes |
//              7 borrowed known text: index byte | 8 buffer: length byte, bytes | 9 custom |
//              10 list: count byte, values | 11 map: count byte, (key value)...
//   message := flags byte (bit 0: has "pulsarPath", bit 1: the path is a known path given by an
//              index byte, else a value), then the payload value
//   input   := log level byte, configuration value, host batch, transport batch;
//   batch   := count byte (mod 9), messages
#pragma once

#include <vector>

#include "fuzz/byte_reader.h"
#include "host/vlm_abi.h"

namespace fuzzing {

vlm_data_t makeValue(ByteReader& input, int depth);
std::vector<vlm_message_t> makeBatch(ByteReader& input);

} // namespace fuzzing
