// JSON string escaping for the host's JSON text.
#pragma once

#include "obclient/json_output.h"

namespace obclient::json {

// Lower case, as the host's JSON text writes its escapes and decimal bits.
inline constexpr char hexDigits[] = "0123456789abcdef";

// Appends text as a quoted JSON string.
void appendEscaped(OutputCursor& out, const char* text);

} // namespace obclient::json
