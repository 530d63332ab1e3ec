// Whether two names lead to one file, so that an output never overwrites what the
// same run still has to read.
#pragma once

#include <string>

#include "tools/replay/options.h"

namespace replay {

// The input (a FILE, "-", the configuration or the plug-in) that the --output file
// already is, followed through links; empty when there is none.
std::string inputThatIsTheOutput(const Options& options);

} // namespace replay
