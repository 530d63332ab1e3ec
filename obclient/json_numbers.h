// Numbers in the host's JSON text.
#pragma once

#include <cstdint>
#include <string>

namespace obclient::json {

// The shortest text that reads back to the same double, always with a fraction
// or an exponent, so that a reader never takes it for an integer. Not for NaN
// or infinities, which JSON has no number for.
void appendFiniteDouble(std::string& out, double number);

void appendInteger(std::string& out, std::int64_t number);

} // namespace obclient::json
