// Base64 as the host's JSON writer produces it for buffers: the standard alphabet,
// padded with '=' to a multiple of four characters.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// False when text is not such base64 (bytes then holds nothing useful).
bool decodeBase64(std::string_view text, std::string& bytes);

} // namespace tools
