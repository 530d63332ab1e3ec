// What the codec will not use of a configuration as written. The codec itself takes
// its defaults without a word, as a host's element must; the tools say it once at
// start, and --check says it without running.
#pragma once

#include <string>
#include <vector>

#include "host/vlm_abi.h"

namespace tools {

// One line per key the codec does not read (naming those it does) and per value of a kind it
// cannot use, in the order of the keys' names.
std::vector<std::string> configurationWarnings(const vlm_data_t& config);

// The same lines on stderr, each after the tool's name; how many there were.
size_t printConfigurationWarnings(const char* toolName, const vlm_data_t& config);

} // namespace tools
