// JSON string escaping for the host's JSON text.
#pragma once

#include <string>

namespace obclient::json {

// Appends text as a quoted JSON string.
void appendEscaped(std::string& out, const char* text);

} // namespace obclient::json
