// Numbers in the host's JSON text.
#pragma once

#include <cstdint>

#include "obclient/json_output.h"

namespace obclient::json {

// The shortest text that reads back to the same double, always with a fraction
// or an exponent, so that a reader never takes it for an integer. Not for NaN
// or infinities, which JSON has no number for.
void appendFiniteDouble(OutputCursor& out, double number);

void appendInteger(OutputCursor& out, std::int64_t number);

} // namespace obclient::json
