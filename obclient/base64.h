// Base64 of buffers in the host's JSON text, in both directions: the writer
// encodes, the tools' reader decodes. The standard alphabet, padded with '='
// to a multiple of four characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace value_text {

void appendBase64(std::string& out, const std::uint8_t* bytes, std::uint64_t length);

// False when text is not such base64 (bytes then holds nothing useful).
bool decodeBase64(std::string_view text, std::string& bytes);

} // namespace value_text
