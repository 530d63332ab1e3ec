// The parser refuses integers beyond 64 bits, but a number's text always has a
// nearest double; such integers are read as that double instead of failing the record.
#pragma once

#include <simdjson.h>

#include <string>
#include <string_view>

namespace tools {

// Parses text (with simdjson's padding readable after it when padded). Only after a
// number error, each integer beyond 64 bits is given a fraction in a copy kept in
// widened, and the copy is parsed.
simdjson::error_code parseWideningIntegers(simdjson::dom::parser& parser, std::string_view text, bool padded,
                                           std::string& widened, simdjson::dom::element& json);

} // namespace tools
