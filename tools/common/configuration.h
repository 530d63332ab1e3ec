// The configuration map handed to the codec at creation: the entries of the
// --config file, then each --set on top (a later entry of a key replaces an
// earlier one). YAML scalars are read like JSON values: a plain scalar that
// parses as JSON (7, 1.5, true) takes that kind, null or ~ is the empty value,
// anything else, and every quoted scalar, is text. Sequences become lists and
// nested maps maps.
#pragma once

#include <string>

#include "tools/common/host_value.h"
#include "tools/common/options.h"

namespace tools {

// On failure the reason names the file or setting at fault, and config is left empty.
bool buildConfiguration(const SharedOptions& options, HostValue& config, std::string& reason);

} // namespace tools
