// Text that came from outside (a frame's identifier, a service's close reason) on its
// way into a log line or summary: control characters would let it rewrite the
// operator's terminal or forge lines, so they are shown escaped.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tools {

// Backslash, CR, LF and TAB as \\, \r, \n and \t; other control bytes (and DEL) as \xHH. Everything else,
// including bytes of UTF-8 sequences, is kept.
std::string escapedForLog(std::string_view text);

// A duration as a log line shows it: "2.5 s".
std::string secondsText(std::chrono::milliseconds duration);

} // namespace tools
