// The access token, read afresh before every connection: an outside job may
// rotate it. It never comes from the command line, where the process list shows it.
#pragma once

#include <string>

namespace consume {

// From the file, or from what the command prints; trimmed. False with the reason when there is none.
bool readToken(const std::string& tokenFile, const std::string& tokenCommand, std::string& token,
               std::string& reason);

} // namespace consume
